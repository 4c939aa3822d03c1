#include "ui/TForm_client.h"

#include "system/Guard.h"
#include "ui/FittedPicture.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

TForm_client::TForm_client(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form_client"));
    setWindowTitle(QString::fromUtf8("屏幕监视"));
    // Half the teacher's screen, centred, where there is a screen: at the design's 310 x 253 a
    // student's text cannot be read.
    setGeometry(452, 280, 310, 253);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect half(QPoint(0, 0), screen->availableGeometry().size() / 2);
        half.moveCenter(screen->availableGeometry().center());
        setGeometry(half);
    }

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    // A lowered outer and a lowered inner bevel, one pixel each: the picture starts 2 pixels in.
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    m_image = new FittedPicture(panel);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setMinimumSize(1, 1);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(m_image);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);

    m_studentDemo = new QAction(QString::fromUtf8("学生演示"), this);
    m_studentDemo->setObjectName(QStringLiteral("StudentDemo"));
    addAction(m_studentDemo);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TForm_client::closeWindow()
{
    if (OnClose)
        guard::run(OnClose);
    hide();
}

// Closing only hides: the window lives as long as the console.
void TForm_client::closeEvent(QCloseEvent *event)
{
    event->ignore();
    closeWindow();
}
