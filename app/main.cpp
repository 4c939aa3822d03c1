#include "platform/DescriptorLimit.h"
#include "ui/ConsoleOptions.h"
#include "ui/ErrorReport.h"
#include "ui/FontSubstitutes.h"
#include "ui/Tfrm_main.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Before anything opens a descriptor: each student takes one.
    descriptorlimit::raiseToHard();
    QApplication app(argc, argv);
    // The title captions every box. It is not the display name: Qt would append that to
    // every window caption.
    QApplication::setApplicationName(QString::fromUtf8("Velmora多媒体网络教室"));
    installFontSubstitutes();
    error_report::install();

    Tfrm_main window(ConsoleOptions::forThisProgram());
    window.showMaximized();
    return app.exec();
}
