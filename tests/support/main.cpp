#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs its tests inside one application object, so sockets, timers and
// windows work as they do in the console.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
