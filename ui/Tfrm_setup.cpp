#include "ui/Tfrm_setup.h"

#include "settings/ConsoleSettings.h"
#include "settings/PortNumber.h"
#include "system/AppError.h"
#include "system/AutoStart.h"
#include "system/Guard.h"
#include "text/ProfileFile.h"
#include "ui/Prompter.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

namespace {
const QString kSection = QStringLiteral("SysInfo");
const QString kAutoRunName = QStringLiteral("Teacher");
constexpr int kWidth = 393;
constexpr int kHeight = 204;
constexpr int kFontPixels = 13;
constexpr int kQualityMin = 1;
constexpr int kQualityMax = 100;
constexpr int kQualityDesign = 50;
constexpr int kTickEvery = 5;
constexpr int kPageStep = 2;

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

const QString kPortsLater = QString::fromUtf8("端口修改在下次启动教师机时生效");
const QString kBadPort = QString::fromUtf8("%1“%2”无效：端口必须是 %3 到 %4 之间的整数。");
const QString kCannotSave = QString::fromUtf8("无法保存设置到 ");
const QString kFingerprintLabel = QString::fromUtf8("教师机指纹：");
const QString kNoFingerprint = QString::fromUtf8("（可信通道未打开）");

void writeSetting(const QString &path, const QString &key, const QString &value)
{
    if (!profilefile::writeProfileString(path, kSection, key, value))
        throw AppError(kCannotSave + path);
}
} // namespace

Tfrm_setup::Tfrm_setup(ConsoleSettings &settings, const ConsoleOptions &options, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_settings(settings), m_options(options)
{
    setObjectName(QStringLiteral("frm_setup"));
    setWindowTitle(QString::fromUtf8("设置"));
    buildComponents();
    connectHandlers();
    resize(kWidth, kHeight);
}

void Tfrm_setup::buildComponents()
{
    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(kFontPixels);

    auto *ports = named(new QGroupBox(QString::fromUtf8(" 端口设置 "), this), "GroupBox1");
    ports->setFont(font);
    auto *portGrid = new QGridLayout(ports);
    const auto addPort = [&](int row, const char *labelName, const char *caption,
                             const char *editName) {
        auto *label = named(new QLabel(QString::fromUtf8(caption), ports), labelName);
        portGrid->addWidget(label, row, 0);
        auto *edit = named(new QLineEdit(ports), editName);
        portGrid->addWidget(edit, row, 1);
        return edit;
    };
    m_edit1 = addPort(0, "Label3", "图像发送端口：", "Edit1");
    m_edit2 = addPort(1, "Label4", "鼠标发送端口：", "Edit2");
    m_edit3 = addPort(2, "Label5", "命令发送端口：", "Edit3");
    auto *later = named(new QLabel(kPortsLater, ports), "PortsLaterLabel");
    later->setWordWrap(true);
    portGrid->addWidget(later, 3, 0, 1, 2);

    m_bitBtn1 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                                      QStringLiteral("OK"), this),
                      "BitBtn1");
    m_bitBtn1->setDefault(true);
    m_bitBtn2 = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogNoButton),
                                      QStringLiteral("&No"), this),
                      "BitBtn2");
    for (QPushButton *button : {m_bitBtn1, m_bitBtn2})
        button->setFont(font);

    auto *other = named(new QGroupBox(QString::fromUtf8(" 其它设置 "), this), "GroupBox2");
    other->setFont(font);
    m_checkBox1 = named(new QCheckBox(QString::fromUtf8("开机自动运行"), other), "CheckBox1");
    auto *label1 = named(new QLabel(QString::fromUtf8("图象质量："), other), "Label1");
    m_label2 = named(new QLabel(QString::number(kQualityDesign), other), "Label2");
    m_trackBar1 = named(new QSlider(Qt::Horizontal, other), "TrackBar1");
    m_trackBar1->setRange(kQualityMin, kQualityMax);
    m_trackBar1->setValue(kQualityDesign);
    m_trackBar1->setTickPosition(QSlider::TicksBelow);
    m_trackBar1->setTickInterval(kTickEvery);
    m_trackBar1->setSingleStep(1);
    m_trackBar1->setPageStep(kPageStep);

    auto *quality = new QHBoxLayout;
    quality->addWidget(label1);
    quality->addWidget(m_label2);
    quality->addStretch();
    auto *otherLayout = new QVBoxLayout(other);
    otherLayout->addWidget(m_checkBox1);
    otherLayout->addLayout(quality);
    otherLayout->addWidget(m_trackBar1);
    // Selectable, not editable: the admin copies it into student.ini or debconf.
    auto *fingerprint = new QHBoxLayout;
    fingerprint->addWidget(named(new QLabel(kFingerprintLabel, other), "FingerprintLabel"));
    m_fingerprint = named(new QLineEdit(kNoFingerprint, other), "FingerprintEdit");
    m_fingerprint->setReadOnly(true);
    m_fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    fingerprint->addWidget(m_fingerprint, 1);
    otherLayout->addLayout(fingerprint);

    auto *halves = new QHBoxLayout;
    halves->addWidget(ports);
    halves->addWidget(other);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_bitBtn1);
    buttons->addWidget(m_bitBtn2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(halves);
    layout->addLayout(buttons);

    // Layout order would put the track bar's group before the buttons; the dialog tabs
    // through the ports, then OK and No, then the other settings.
    setTabOrder(m_edit1, m_edit2);
    setTabOrder(m_edit2, m_edit3);
    setTabOrder(m_edit3, m_bitBtn1);
    setTabOrder(m_bitBtn1, m_bitBtn2);
    setTabOrder(m_bitBtn2, m_checkBox1);
    setTabOrder(m_checkBox1, m_trackBar1);
    setTabOrder(m_trackBar1, m_fingerprint);
}

void Tfrm_setup::connectHandlers()
{
    connect(m_trackBar1, &QSlider::valueChanged, this,
            [this] { guard::run([this] { TrackBar1Change(); }); });
    // The dialog closes only when everything was taken over: a refused port or a failed
    // write leaves it open with what the teacher typed.
    connect(m_bitBtn1, &QPushButton::clicked, this, [this] {
        bool taken = false;
        guard::run([this, &taken] { taken = BitBtn1Click(); });
        if (taken)
            done(kOk);
    });
    connect(m_bitBtn2, &QPushButton::clicked, this, [this] { done(kNo); });
}

void Tfrm_setup::setVisible(bool visible)
{
    // Placed before it appears, at every opening, so no window manager sees it elsewhere first.
    if (visible && !isVisible())
        centreOnScreen();
    QDialog::setVisible(visible);
}

void Tfrm_setup::setFingerprint(const QString &fingerprint)
{
    m_fingerprint->setText(fingerprint.isEmpty() ? kNoFingerprint : fingerprint);
    // The box is narrower than the 64 digits: the tip shows them all.
    m_fingerprint->setToolTip(fingerprint);
    m_fingerprint->setCursorPosition(0);
}

void Tfrm_setup::centreOnScreen()
{
    const QScreen *target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(),
                             target->geometry())
             .topLeft());
}

void Tfrm_setup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A spontaneous show is the window manager restoring it, not an opening.
    if (!event->spontaneous())
        guard::run([this] { FormShow(); });
}

void Tfrm_setup::keyPressEvent(QKeyEvent *event)
{
    // Escape is No's key (result 7); only the title bar's close box cancels.
    if (event->matches(QKeySequence::Cancel)) {
        m_bitBtn2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tfrm_setup::reject()
{
    done(kCancel);
}

void Tfrm_setup::FormShow()
{
    m_edit1->setText(QString::number(m_settings.ImagePort));
    m_edit2->setText(QString::number(m_settings.MousePort));
    m_edit3->setText(QString::number(m_settings.CommandPort));
    // The slider clamps to 1..100; a position that moves runs TrackBar1Change, which takes
    // the clamped value over into ImageQuality.
    m_trackBar1->setValue(m_settings.ImageQuality);
    m_label2->setText(QString::number(m_settings.ImageQuality));
    m_checkBox1->setChecked(IsAutoRun(kAutoRunName));
}

void Tfrm_setup::TrackBar1Change()
{
    m_settings.ImageQuality = m_trackBar1->value();
    m_label2->setText(QString::number(m_trackBar1->value()));
}

std::optional<qint32> Tfrm_setup::checkedPort(QLineEdit *edit, const QString &name) const
{
    const std::optional<qint32> port = portnumber::parse(edit->text());
    if (!port) {
        Prompter::current().message(
            kBadPort.arg(name, edit->text()).arg(portnumber::kLowest).arg(portnumber::kHighest));
        edit->setFocus();
        edit->selectAll();
    }
    return port;
}

bool Tfrm_setup::BitBtn1Click()
{
    // All three ports are checked before anything changes, so a refused box changes nothing.
    const std::optional<qint32> image = checkedPort(m_edit1, QString::fromUtf8("图像发送端口"));
    if (!image)
        return false;
    const std::optional<qint32> mouse = checkedPort(m_edit2, QString::fromUtf8("鼠标发送端口"));
    if (!mouse)
        return false;
    const std::optional<qint32> command = checkedPort(m_edit3, QString::fromUtf8("命令发送端口"));
    if (!command)
        return false;

    const QString path = m_options.settingsPath;
    // An installed copy's own folder under ~/.config does not exist before the first save.
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeSetting(path, QStringLiteral("UDP_Port1"), m_edit1->text());
    writeSetting(path, QStringLiteral("UDP_Port2"), m_edit2->text());
    writeSetting(path, QStringLiteral("Socket_Port"), m_edit3->text());
    writeSetting(path, QStringLiteral("ImageSpeed"), QString::number(m_trackBar1->value()));
    m_settings.ImagePort = *image;
    m_settings.MousePort = *mouse;
    m_settings.CommandPort = *command;
    SetAutoRun(kAutoRunName, m_options.programPath, m_checkBox1->isChecked());
    return true;
}

void Tfrm_setup::SetAutoRun(const QString &name, const QString &path, bool enabled) const
{
    autoStart().setAutoRun(name, path, enabled);
}

bool Tfrm_setup::IsAutoRun(const QString &name) const
{
    return autoStart().isAutoRun(name);
}

AutoStart Tfrm_setup::autoStart() const
{
    return AutoStart(m_options.autostartDirectory, m_options.autostartSystemDirectory);
}
