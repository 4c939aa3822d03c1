#include "settings/ConsoleKey.h"
#include "system/AppError.h"
#include "system/CommandLine.h"
#include "system/DescriptorLimit.h"
#include "system/EventLog.h"
#include "system/Guard.h"
#include "system/HeapPolicy.h"
#include "ui/AppIcon.h"
#include "ui/ConsoleOptions.h"
#include "ui/ErrorReport.h"
#include "ui/FontSubstitutes.h"
#include "ui/QtTranslations.h"
#include "ui/SingleInstance.h"
#include "ui/Tfrm_main.h"

#include <QApplication>

#include <cstdio>

namespace {
// The key the console presents, made now if it has none yet: an admin reads it before the first
// lesson to give it to the student computers.
int printFingerprint()
{
    const ConsoleOptions options = ConsoleOptions::forThisProgram();
    try {
        const ConsoleKey key = ConsoleKey::loadOrCreate(options.adminKeyFolder, options.dataFolder);
        std::printf("%s\n", qPrintable(key.fingerprint));
        return 0;
    } catch (const AppError &failure) {
        std::fprintf(stderr, "velmora-teacher: %s\n", failure.what());
        return 1;
    }
}
} // namespace

int main(int argc, char **argv)
{
    // --help and --version answer before Qt starts: no display, no socket, no window.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine(arguments);
    if (commandLine.answersAlone()) {
        const QByteArray text = commandLine.text().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return commandLine.exitCode();
    }
    if (commandLine.wantsFingerprint())
        return printFingerprint();

    // Before anything opens a descriptor: each student takes one.
    descriptorlimit::raiseToHard();
    heappolicy::giveBackLargeBlocks();
    QApplication app(argc, argv);
    // The title captions every box. It is not the display name: Qt would append that to
    // every window caption.
    QApplication::setApplicationName(QString::fromUtf8("Velmora多媒体网络教室"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmora.Teacher"));
    QApplication::setWindowIcon(appIcon());
    installChineseQtTranslations(app);

    // A second copy started by mistake hands over to the running one before opening anything.
    SingleInstance instance(SingleInstance::defaultSocketPath());
    if (!instance.claim()) {
        eventlog::info(QString::fromUtf8("教师机已在运行，已切换到它的窗口"));
        return 0;
    }

    installFontSubstitutes();
    error_report::install();

    Tfrm_main window(ConsoleOptions::forThisProgram());
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&window] { guard::run([&window] { window.bringToFront(); }); });
    window.showMaximized();
    return app.exec();
}
