#include "SetupDialogFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

Tfrm_setup &SetupDialogFixture::dialog()
{
    if (!m_dialog)
        m_dialog = std::make_unique<Tfrm_setup>(
            settings, ConsoleOptions{iniPath, kProgram, autostartDir, nullptr});
    return *m_dialog;
}

void SetupDialogFixture::reset(const ConsoleSettings &fresh)
{
    m_dialog.reset();
    settings = fresh;
    prompter.errors.clear();
}

int SetupDialogFixture::open(const std::function<void()> &teacher)
{
    prompter.onDialog = [&](QDialog &d) {
        d.show();
        teacher();
        EXPECT_FALSE(d.isVisible()) << "the dialog was left open";
        return d.result();
    };
    return Prompter::current().execDialog(dialog());
}

QWidget *SetupDialogFixture::child(const char *name)
{
    auto *widget = dialog().findChild<QWidget *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QLineEdit *SetupDialogFixture::edit(int number)
{
    const char *const names[] = {"Edit1", "Edit2", "Edit3"};
    return child<QLineEdit>(names[number - 1]);
}

QSlider *SetupDialogFixture::trackBar()
{
    return child<QSlider>("TrackBar1");
}

QCheckBox *SetupDialogFixture::checkBox()
{
    return child<QCheckBox>("CheckBox1");
}

QString SetupDialogFixture::label2()
{
    return child<QLabel>("Label2")->text();
}

void SetupDialogFixture::click(const char *button)
{
    QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
}

void SetupDialogFixture::typePorts(const QString &image, const QString &mouse,
                                   const QString &command)
{
    edit(1)->setText(image);
    edit(2)->setText(mouse);
    edit(3)->setText(command);
}

QByteArray SetupDialogFixture::contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<missing>");
}

void SetupDialogFixture::writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}
