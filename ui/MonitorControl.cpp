#include "ui/MonitorControl.h"

#include "classroom/Monitoring.h"
#include "classroom/RosterModel.h"
#include "system/Guard.h"
#include "text/Cp936.h"
#include "ui/Prompter.h"
#include "ui/TForm_client.h"

#include <QAction>
#include <QEvent>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {
const QString kRotationIdle = QString::fromUtf8("循环监视");
const QString kRotationActive = QString::fromUtf8("取消监视");
const QString kRotationEmpty = QString::fromUtf8("现在还没有学生机登录，不能监视");
const QString kCaptionPrefix = QString::fromUtf8("监视 - ");
} // namespace

MonitorControl::MonitorControl(const MainWindowLayout &ui, Monitoring &monitoring,
                               const RosterModel &roster, TForm_client &window,
                               QTimer &rotationTimer, ButtonsEnabler enableOthers, QObject *parent)
    : QObject(parent), m_ui(ui), m_monitoring(monitoring), m_roster(roster), m_window(window),
      m_image(window.Image1()), m_rotationTimer(rotationTimer),
      m_enableOthers(std::move(enableOthers))
{
    const auto guarded = [](auto handler) { return [handler] { guard::run(handler); }; };
    connect(ui.N12, &QAction::triggered, this, guarded([this] { N12Click(); }));
    connect(ui.SpeedButton2, &QToolButton::clicked, this, guarded([this] { SpeedButton2Click(); }));
    connect(&rotationTimer, &QTimer::timeout, this, guarded([this] { Timer2Timer(); }));
    connect(&monitoring, &Monitoring::pictureChanged, this, &MonitorControl::showPicture);
    // A name that arrives after the student was chosen completes the window's caption.
    connect(&roster, &QAbstractItemModel::dataChanged, this, [this] {
        if (m_window.isVisible() && m_monitoring.MonitorIndex() >= 0)
            showStudent();
    });
    window.OnClose = [this] { FormClose(); };
    m_image->installEventFilter(this);
}

// A student's frame is decoded no larger than the picture that shows it, so a big screen in a
// small window costs a fraction of its full decode.
bool MonitorControl::eventFilter(QObject *watched, QEvent *event)
{
    // The window may be part-way through its destruction: only the picture itself is asked.
    if (event->type() == QEvent::Resize && watched == m_image) {
        const QSize shown = m_image->size() * m_image->devicePixelRatio();
        m_monitoring.setPictureSize(shown.width(), shown.height());
    }
    return QObject::eventFilter(watched, event);
}

int MonitorControl::selectedRow() const
{
    const QModelIndexList rows = m_ui.ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MonitorControl::showStudent()
{
    const int index = m_monitoring.MonitorIndex();
    const QByteArray name = m_roster.hasRow(index) ? m_roster.caption(index) : QByteArray();
    m_window.setWindowTitle(kCaptionPrefix + cp936::decode(name));
}

void MonitorControl::showPicture()
{
    const JpegDecoder::Image &picture = m_monitoring.picture();
    const QImage image(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                       QImage::Format_RGB888);
    m_window.Image1()->setPixmap(QPixmap::fromImage(image));
}

// With no row selected there is no student to watch: nothing is sent and nothing changes.
// The chosen student is taken by its connection before anything is sent, as a failing send
// removes a row and moves the others.
void MonitorControl::N12Click()
{
    const int row = selectedRow();
    if (!m_roster.hasRow(row))
        return;
    const quint64 chosen = m_roster.key(row);
    m_monitoring.clearStream();
    m_monitoring.sendNotScreen();
    m_monitoring.monitorStudent(chosen);
    m_window.Image1()->clear();
    m_monitoring.sendScreen();
    showStudent();
    m_window.show();
    m_window.raise();
}

// An empty list refuses only the start: a rotation whose last student left can still end.
void MonitorControl::SpeedButton2Click()
{
    if (m_ui.SpeedButton2->text() != kRotationIdle) {
        stopRotation();
        return;
    }
    if (m_roster.rowCount() == 0) {
        Prompter::current().message(kRotationEmpty);
        return;
    }
    m_ui.SpeedButton2->setText(kRotationActive);
    m_enableOthers(m_ui.SpeedButton2, false);
    m_rotationTimer.start();
    m_window.show();
}

void MonitorControl::stopRotation()
{
    m_ui.SpeedButton2->setText(kRotationIdle);
    m_enableOthers(m_ui.SpeedButton2, true);
    m_rotationTimer.stop();
    m_window.closeWindow();
}

// A failure would come back at every tick: the rotation ends first, then the guard shows it.
void MonitorControl::Timer2Timer()
{
    try {
        m_monitoring.sendNotScreen();
        m_monitoring.monitorStudent(m_roster.key(m_monitoring.nextRow()));
        m_monitoring.clearStream();
        m_window.Image1()->clear();
        m_monitoring.sendScreen();
        showStudent();
    } catch (...) {
        if (m_ui.SpeedButton2->text() == kRotationActive)
            stopRotation();
        throw;
    }
}

void MonitorControl::FormClose()
{
    m_monitoring.sendNotScreen();
    m_monitoring.stopWatching();
    if (m_ui.SpeedButton2->text() == kRotationActive)
        SpeedButton2Click();
}
