#include "ConsoleFixture.h"

#include "tests/support/WaitUntil.h"
#include "ui/QtTranslations.h"
#include "ui/SingleInstance.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Receives what the console asks the desktop to open, instead of a real viewer.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// How the console meets the desktop: its guide, a second copy started by mistake, Qt's texts.
class DesktopIntegrationTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        ConsoleFixture::TearDown();
    }
    QString socketPath() const { return dir.filePath(QStringLiteral("teacher.socket")); }

    OpenedUrls opened;
};

TEST_F(DesktopIntegrationTest, HowToUseOpensTheGuideWithTheDesktopsViewer)
{
    readmePath = dir.filePath(QStringLiteral("readme.txt"));
    QFile guide(readmePath);
    ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
    guide.write("如何使用\n");
    guide.close();
    console();
    trigger("N2");
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(readmePath)});
    EXPECT_TRUE(prompter.messages.isEmpty());

    // Removed while the console runs: said, not silently nothing.
    ASSERT_TRUE(QFile::remove(readmePath));
    trigger("N2");
    EXPECT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(prompter.messages,
              QStringList{QString::fromUtf8("找不到使用说明文件 readme.txt，请重新安装教师机。")});
}

TEST_F(DesktopIntegrationTest, WithoutAGuideHowToUseSaysSo)
{
    console();
    trigger("N2");
    EXPECT_TRUE(opened.urls.isEmpty());
    EXPECT_EQ(prompter.messages.size(), 1);
}

TEST_F(DesktopIntegrationTest, ASecondCopyBringsTheRunningWindowToTheFrontAndGivesWay)
{
    SingleInstance first(socketPath());
    ASSERT_TRUE(first.claim());
    QObject::connect(&first, &SingleInstance::activationRequested, &console(),
                     &Tfrm_main::bringToFront);
    console().showMinimized();
    ASSERT_TRUE(console().isMinimized());

    SingleInstance second(socketPath());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(waitUntil([&] { return !console().isMinimized(); }));
    EXPECT_TRUE(console().isVisible());

    // The first copy goes on listening for the next mistake.
    console().showMinimized();
    SingleInstance third(socketPath());
    EXPECT_FALSE(third.claim());
    EXPECT_TRUE(waitUntil([&] { return !console().isMinimized(); }));
}

TEST_F(DesktopIntegrationTest, TheSocketOfACopyThatDiedDoesNotStopTheNextOne)
{
    // A socket file nobody listens on, as a copy that was killed leaves behind.
    const QByteArray path = QFile::encodeName(socketPath());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(socketPath()));

    SingleInstance next(socketPath());
    int activations = 0;
    QObject::connect(&next, &SingleInstance::activationRequested, [&] { ++activations; });
    EXPECT_TRUE(next.claim());
    SingleInstance mistake(socketPath());
    EXPECT_FALSE(mistake.claim());
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }));
}

TEST_F(DesktopIntegrationTest, TheWindowShowsTheConsolesOwnIconWithoutAnInstalledTheme)
{
    const QImage shown = console().windowIcon().pixmap(32, 32).toImage();
    const QImage builtIn(QStringLiteral(":/icons/org.velmora.Teacher-32.png"));
    ASSERT_FALSE(builtIn.isNull()) << "the icon is not built into the program";
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
              builtIn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST(QtTranslations, QtsOwnButtonsSpeakChinese)
{
    ASSERT_TRUE(installChineseQtTranslations(*QCoreApplication::instance()))
        << "qt6-translations-l10n is missing";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Yes | QDialogButtonBox::No);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("取消"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text().left(1), QString::fromUtf8("是"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::No)->text().left(1), QString::fromUtf8("否"));
    // Later tests see Qt's own texts again.
    for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

#include "DesktopIntegrationTest.moc"
