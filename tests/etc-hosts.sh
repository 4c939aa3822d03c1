# Sourced by the scripts that run tests in private namespaces. A clean chroot (debootstrap) has
# no /etc/hosts: "localhost" does not resolve there, and a test cannot bind its own hosts file
# over a file that is missing. Inside the caller's private mount namespace, /etc then gets an
# overlay whose upper layer holds a loopback-only hosts file; the real /etc is never written.
ensure_etc_hosts() {
  [ -e /etc/hosts ] && return 0
  local layers
  layers=$(mktemp -d) || return 1
  mkdir "$layers/upper" "$layers/work"
  printf '127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n' >"$layers/upper/hosts"
  mount -t overlay overlay -o "lowerdir=/etc,upperdir=$layers/upper,workdir=$layers/work" /etc
}
