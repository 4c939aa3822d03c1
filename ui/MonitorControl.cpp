#include "ui/MonitorControl.h"

#include "classroom/RosterModel.h"
#include "system/Guard.h"
#include "text/Cp936.h"
#include "ui/Prompter.h"
#include "ui/TForm_client.h"

#include <QAction>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <utility>

namespace {
const QString kRotationIdle = QString::fromUtf8("循环监视");
const QString kRotationActive = QString::fromUtf8("取消监视");
const QString kRotationEmpty = QString::fromUtf8("现在还没有学生机登录，不能监视");
const QString kCaptionPrefix = QString::fromUtf8("监视 - ");
} // namespace

MonitorControl::MonitorControl(const MainWindowLayout &ui, ClassroomSession &session,
                               TForm_client &window, QObject *parent)
    : QObject(parent), m_ui(ui), m_session(session), m_window(window), m_image(window.Image1())
{
    const auto guarded = [](auto handler) { return [handler] { guard::run(handler); }; };
    connect(ui.N12, &QAction::triggered, this, guarded([this] { N12Click(); }));
    connect(ui.N16, &QAction::triggered, this, guarded([this] { N16Click(); }));
    connect(window.StudentDemo(), &QAction::triggered, this,
            guarded([this] { StudentDemoClick(); }));
    connect(ui.SpeedButton2, &QToolButton::clicked, this, guarded([this] { SpeedButton2Click(); }));
    connect(session.Timer2(), &QTimer::timeout, this, guarded([this] { Timer2Timer(); }));
    connect(&session, &ClassroomSession::pictureChanged, this,
            &MonitorControl::MouseUDPDataReceived);
    connect(&session, &ClassroomSession::monitoredStudentChanged, this, [this] {
        m_window.Image1()->clear();
        showStudent();
    });
    connect(&session, &ClassroomSession::modeChanged, this, &MonitorControl::showMode);
    // A name that arrives after the student was chosen completes the window's caption.
    connect(&session.rosterModel(), &QAbstractItemModel::dataChanged, this, [this] {
        if (m_window.isVisible() && m_session.MonitorIndex() >= 0)
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
        m_session.setPictureSize(shown.width(), shown.height());
    }
    return QObject::eventFilter(watched, event);
}

void MonitorControl::showStudent()
{
    const RosterModel &roster = m_session.rosterModel();
    const int index = m_session.MonitorIndex();
    const QByteArray name = roster.hasRow(index) ? roster.caption(index) : QByteArray();
    m_window.setWindowTitle(kCaptionPrefix + cp936::decode(name));
}

void MonitorControl::MouseUDPDataReceived(const JpegDecoder::Image &picture)
{
    const QImage image(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                       QImage::Format_RGB888);
    m_window.Image1()->setPixmap(QPixmap::fromImage(image));
}

// With no row selected there is no student to watch: nothing is sent and nothing changes.
// While a student presents, the monitor window stays on that student, whom the class sees.
void MonitorControl::N12Click()
{
    const RosterModel &roster = m_session.rosterModel();
    const int row = m_ui.selectedRow();
    if (!roster.hasRow(row) || m_session.presenter() != 0)
        return;
    m_session.monitorStudent(roster.key(row));
    m_window.show();
    m_window.raise();
}

// An empty list refuses only the start: a rotation whose last student left can still end.
void MonitorControl::SpeedButton2Click()
{
    if (m_session.mode() == ClassroomSession::Mode::Rotating) {
        m_session.stopRotation();
        return;
    }
    if (m_session.rosterModel().rowCount() == 0) {
        Prompter::current().message(kRotationEmpty);
        return;
    }
    m_session.startRotation();
    m_window.show();
}

void MonitorControl::Timer2Timer()
{
    m_session.monitorNextStudent();
}

void MonitorControl::N16Click()
{
    const int row = m_ui.selectedRow();
    if (m_session.rosterModel().hasRow(row))
        presentStudent(m_session.rosterModel().key(row));
}

void MonitorControl::StudentDemoClick()
{
    presentStudent(m_session.rosterModel().key(m_session.MonitorIndex()));
}

// The teacher sees in the monitor window what the class sees; another mode running refuses.
void MonitorControl::presentStudent(quint64 key)
{
    if (key == 0 || !m_session.startStudentDemonstration(key))
        return;
    m_window.show();
    m_window.raise();
}

// Closing the window that shows the presenting student ends what the class sees of it.
void MonitorControl::FormClose()
{
    if (m_session.presenter() != 0)
        m_session.stopDemonstration();
    m_session.stopWatching();
    if (m_session.mode() == ClassroomSession::Mode::Rotating)
        SpeedButton2Click();
}

// The rotation's end, whatever ended it, closes the monitor window.
void MonitorControl::showMode(ClassroomSession::Mode mode)
{
    const bool idle = mode == ClassroomSession::Mode::Idle;
    m_ui.N16->setEnabled(idle);
    m_window.StudentDemo()->setEnabled(idle);
    const bool rotating = mode == ClassroomSession::Mode::Rotating;
    m_ui.SpeedButton2->setText(rotating ? kRotationActive : kRotationIdle);
    if (std::exchange(m_rotating, rotating) && !rotating)
        m_window.closeWindow();
}
