#include "SetupDialogFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>

// Opening the dialog, what it shows, and leaving it without OK.
class SetupDialogTest : public SetupDialogFixture
{
};

TEST_F(SetupDialogTest, OpensAsACentredToolWindowWithItsCaptionsFontsAndTabOrder)
{
    Tfrm_setup &d = dialog();
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("设置"));
    EXPECT_EQ(d.windowType(), Qt::Tool);
    EXPECT_EQ(d.size(), QSize(393, 204));
    const struct
    {
        const char *name;
        const char *property;
        const char *text;
    } captions[] = {
        {"GroupBox1", "title", " 端口设置 "},
        {"Label3", "text", "图像发送端口："},
        {"Label4", "text", "鼠标发送端口："},
        {"Label5", "text", "命令发送端口："},
        {"BitBtn1", "text", "OK"},
        {"BitBtn2", "text", "&No"},
        {"GroupBox2", "title", " 其它设置 "},
        {"CheckBox1", "text", "开机自动运行"},
        {"Label1", "text", "图象质量："},
        {"Label2", "text", "50"},
    };
    for (const auto &c : captions)
        EXPECT_EQ(child(c.name)->property(c.property).toString(), QString::fromUtf8(c.text))
            << c.name;
    for (const char *name : {"GroupBox1", "GroupBox2", "BitBtn1", "BitBtn2"}) {
        EXPECT_EQ(child(name)->font().family(), QString::fromUtf8("宋体")) << name;
        EXPECT_EQ(child(name)->font().pixelSize(), 13) << name;
    }
    EXPECT_FALSE(child<QPushButton>("BitBtn1")->icon().isNull());
    EXPECT_FALSE(child<QPushButton>("BitBtn2")->icon().isNull());
    EXPECT_TRUE(child<QPushButton>("BitBtn1")->isDefault());
    QSlider *bar = trackBar();
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(std::make_pair(bar->minimum(), bar->maximum()), std::make_pair(1, 100));
    EXPECT_EQ(bar->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(bar->tickInterval(), 5);

    open([&] {
        const QRect screen = d.screen()->geometry();
        // Within a frame's width: the frame is known only once the window exists.
        EXPECT_LE((d.frameGeometry().center() - screen.center()).manhattanLength(), 8);
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        edit(1)->setFocus();
        QStringList visited;
        for (int i = 0; i < 7; ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(visited, QStringList({"Edit1", "Edit2", "Edit3", "BitBtn1", "BitBtn2",
                                        "CheckBox1", "TrackBar1"}));
        // The keys a track bar answers to: arrows by 1, Page Up and Down by 2.
        trackBar()->setFocus();
        QTest::keyClick(trackBar(), Qt::Key_Right);
        EXPECT_EQ(trackBar()->value(), 51);
        QTest::keyClick(trackBar(), Qt::Key_PageUp);
        EXPECT_EQ(trackBar()->value(), 53);
        d.close();
    });
}

TEST_F(SetupDialogTest, OpeningShowsTheValuesInMemoryAndKeepsTheQualityWithinTheBar)
{
    const struct
    {
        qint32 inMemory;
        int shown;
    } rows[] = {{150, 100}, {0, 1}, {-20, 1}, {80, 80}, {50, 50}, {100, 100}};
    for (const auto &row : rows) {
        reset(ConsoleSettings{-1, 70000, row.inMemory, 0});
        open([&] {
            EXPECT_EQ(edit(1)->text(), QStringLiteral("-1"));
            EXPECT_EQ(edit(2)->text(), QStringLiteral("70000"));
            EXPECT_EQ(edit(3)->text(), QStringLiteral("0"));
            EXPECT_EQ(trackBar()->value(), row.shown);
            EXPECT_EQ(label2(), QString::number(row.shown));
            dialog().close();
        });
        EXPECT_EQ(settings.ImageQuality, row.shown) << row.inMemory;
    }
}

TEST_F(SetupDialogTest, LeavingWithoutOkKeepsTheNewQualityAndSavesNothing)
{
    const struct
    {
        const char *how;
        std::function<void()> leave;
        int result;
    } ways[] = {
        {"No", [this] { click("BitBtn2"); }, 7},
        {"Escape", [this] { QTest::keyClick(edit(1), Qt::Key_Escape); }, 7},
        {"close box", [this] { dialog().close(); }, 2},
    };
    writeFile(iniPath, kStoredIni);
    for (const auto &way : ways) {
        reset();
        const int result = open([&] {
            typePorts(QStringLiteral("7000"), QStringLiteral("7001"), QStringLiteral("7002"));
            checkBox()->setChecked(true);
            trackBar()->setValue(80);
            EXPECT_EQ(label2(), QStringLiteral("80"));
            way.leave();
        });
        EXPECT_EQ(result, way.result) << way.how;
        EXPECT_EQ(settings.ImageQuality, 80) << way.how;
        EXPECT_EQ(settings.ImagePort, 5650) << way.how;
        EXPECT_EQ(contentOf(iniPath), kStoredIni) << way.how;
        EXPECT_FALSE(QFile::exists(entryPath())) << way.how;
        open([&] {
            EXPECT_EQ(edit(1)->text(), QStringLiteral("5650")) << way.how;
            EXPECT_EQ(trackBar()->value(), 80) << way.how;
            dialog().close();
        });
    }
    EXPECT_TRUE(prompter.errors.isEmpty());
}
