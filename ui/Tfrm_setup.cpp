#include "ui/Tfrm_setup.h"

#include "settings/ConsoleSettings.h"
#include "platform/AppError.h"
#include "platform/AutoStart.h"
#include "platform/Guard.h"
#include "platform/IntegerText.h"
#include "platform/ProfileFile.h"

#include <QCheckBox>
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

// A port box's number; its failure is the console's error box and ends the OK steps.
qint32 toInteger(const QLineEdit *edit)
{
    qint32 value = 0;
    if (!integertext::parseInteger(edit->text(), value))
        throw AppError(integertext::invalidIntegerMessage(edit->text()));
    return value;
}

void writeSetting(const QString &path, const QString &key, const QString &value)
{
    if (!profilefile::writeProfileString(path, kSection, key, value))
        throw AppError(QStringLiteral("Unable to write to ") + path);
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
}

void Tfrm_setup::connectHandlers()
{
    connect(m_trackBar1, &QSlider::valueChanged, this,
            [this] { guard::run([this] { TrackBar1Change(); }); });
    // The dialog closes with OK whatever became of the steps, a failed one included.
    connect(m_bitBtn1, &QPushButton::clicked, this, [this] {
        guard::run([this] { BitBtn1Click(); });
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

void Tfrm_setup::BitBtn1Click()
{
    const QString path = m_options.settingsPath;
    // Each port is taken over as soon as it converts, so a later bad box leaves the earlier
    // ones new; the file and start at boot are touched only when all three converted.
    m_settings.ImagePort = toInteger(m_edit1);
    m_settings.MousePort = toInteger(m_edit2);
    m_settings.CommandPort = toInteger(m_edit3);
    writeSetting(path, QStringLiteral("UDP_Port1"), m_edit1->text());
    writeSetting(path, QStringLiteral("UDP_Port2"), m_edit2->text());
    writeSetting(path, QStringLiteral("Socket_Port"), m_edit3->text());
    writeSetting(path, QStringLiteral("ImageSpeed"), QString::number(m_trackBar1->value()));
    SetAutoRun(kAutoRunName, m_options.programPath, m_checkBox1->isChecked());
}

void Tfrm_setup::SetAutoRun(const QString &name, const QString &path, bool enabled) const
{
    AutoStart(m_options.autostartDirectory).setAutoRun(name, path, enabled);
}

bool Tfrm_setup::IsAutoRun(const QString &name) const
{
    return AutoStart(m_options.autostartDirectory).isAutoRun(name);
}
