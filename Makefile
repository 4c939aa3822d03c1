# Velmora teacher console: `make run` starts it, `make test` runs every test.
# Both first install any missing Debian package, then configure and build into build/.

BUILD   ?= build
JOBS    ?= $(shell nproc)
# Portable names: libjpeg-dev is libjpeg-turbo's development package on Debian and Ubuntu.
PACKAGES = cmake g++ make pkg-config qt6-base-dev libjpeg-dev libssl-dev libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev \
           libxcb-damage0-dev libxcb-xfixes0-dev libxcb-xinput-dev \
           libxcb-xtest0-dev libgtest-dev libbenchmark-dev xvfb xauth fonts-arphic-uming fonts-arphic-ukai \
           qt6-translations-l10n iproute2 util-linux dbus-daemon \
           libjpeg-turbo-progs x11-utils x11-xserver-utils desktop-file-utils appstream \
           clang libclang-rt-14-dev
# What `make package` needs beyond the build: dpkg-shlibdeps, the file type probe, and lintian,
# which every package must pass.
PACKAGE_TOOLS = dpkg-dev file lintian
SUDO     = $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all deps build run test demo bench glass package fuzz test-asan clean

all: build

define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

# ccache, where a developer has it, makes rebuilds of other checkouts cheap; CI goes without.
LAUNCHER = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The project's own development build: warnings are errors, benchmarks included.
$(BUILD)/CMakeCache.txt: Makefile | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON \
	  -DVELMORA_BENCHMARKS=ON $(LAUNCHER)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/velmora-teacher

test: build
	cd $(BUILD) && ctest --output-on-failure

# The console and three simulated students, each on its own host in private namespaces.
demo: build
	tools/demo.sh $(BUILD)

bench: build
	VELMORA_XVFB_SCREEN=1920x1080x24 tests/isolate.sh --xvfb $(BUILD)/bench/velmora-bench

# Glass to glass between two namespace hosts, with one student and with forty.
glass: build
	tests/crosshost.sh $(BUILD)/bench/glass/velmora-glass --students 1
	tests/crosshost.sh $(BUILD)/bench/glass/velmora-glass --students 40

# The Debian package, built as a packager would: release build, no tests, no -Werror.
PACKAGE_BUILD ?= build-package
package: deps
	$(call install_missing,$(PACKAGE_TOOLS))
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DVELMORA_WERROR=OFF -DVELMORA_BENCHMARKS=OFF $(LAUNCHER)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	lintian --fail-on error,warning $(PACKAGE_BUILD)/*.deb
	@ls -l $(PACKAGE_BUILD)/*.deb

# Every libFuzzer target for FUZZ_SECONDS each, in its own clang build (fuzz/run.sh).
FUZZ_SECONDS ?= 60
fuzz: deps
	JOBS=$(JOBS) fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# The whole suite under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer. One
# test leaves the process no descriptor at all, which the sanitizers' own checks need (the
# vptr check opens a pipe): it runs in make test only.
ASAN_BUILD = build-asan
test-asan: deps
	[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) -DVELMORA_SANITIZE=ON \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && GTEST_FILTER=-UdpEndpointCreate.SocketThatCannotBeMadeRaisesTheErrorNumber \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -E '^fuzz$$'

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD) build-fuzz $(ASAN_BUILD)
