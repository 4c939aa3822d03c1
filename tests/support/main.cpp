#include <QApplication>
#include <gtest/gtest.h>

namespace {
// The offscreen platform warns about every top-level window it cannot size-hint; that says
// nothing about the console.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    qt_message_output(type, context, message);
}
} // namespace

// Every test binary runs its tests inside one application object, so sockets, timers and
// windows work as they do in the console.
int main(int argc, char **argv)
{
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
