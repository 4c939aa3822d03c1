#include "bench/BenchApplication.h"

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<QApplication> &application()
{
    static std::unique_ptr<QApplication> app;
    return app;
}
} // namespace

QApplication &benchApplication()
{
    static int argc = 1;
    static char name[] = "velmora-bench";
    static char *argv[] = {name, nullptr};
    if (!application()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        application() = std::make_unique<QApplication>(argc, argv);
    }
    return *application();
}

void endBenchApplication()
{
    application().reset();
}
