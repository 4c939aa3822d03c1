#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "FakePrompter.h"
#include "settings/ConsoleSettings.h"
#include "tests/support/QtPrinters.h"
#include "ui/Tfrm_setup.h"

class QCheckBox;
class QLineEdit;
class QSlider;

// A settings dialog over settings in memory, with server.ini and the autostart directory in a
// temporary directory, opened as the main menu opens it.
class SetupDialogFixture : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Made afresh after reset().
    Tfrm_setup &dialog();
    void reset(const ConsoleSettings &fresh = ConsoleSettings());
    // The teacher acts in the opened dialog and must close it; returns how it closed.
    int open(const std::function<void()> &teacher);

    QWidget *child(const char *name);
    template <typename W> W *child(const char *name) { return qobject_cast<W *>(child(name)); }
    QLineEdit *edit(int number);
    QSlider *trackBar();
    QCheckBox *checkBox();
    QString label2();
    void click(const char *button);
    void typePorts(const QString &image, const QString &mouse, const QString &command);

    QString entryPath() const { return autostartDir + QStringLiteral("/Teacher.desktop"); }
    // The file's bytes, "<missing>" when it cannot be read.
    static QByteArray contentOf(const QString &path);
    static void writeFile(const QString &path, const QByteArray &content);

    static inline const QString kProgram = QStringLiteral("/opt/velmora/velmora-teacher");
    static inline const QByteArray kStoredIni = "[SysInfo]\nUDP_Port1=5650\nImageSpeed=50\n";

    FakePrompter prompter;
    QTemporaryDir dir;
    QString iniPath = dir.filePath(QStringLiteral("server.ini"));
    QString autostartDir = dir.filePath(QStringLiteral("autostart"));
    ConsoleSettings settings;

private:
    std::unique_ptr<Tfrm_setup> m_dialog;
};
