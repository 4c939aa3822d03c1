#include "bench/BenchApplication.h"

#include <QApplication>
#include <cstdlib>

QApplication &benchApplication()
{
    static int argc = 1;
    static char name[] = "velmora-bench";
    static char *argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(argc, argv);
    return app;
}
