#include "ui/TForm_client.h"

#include "platform/Guard.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TForm_client::TForm_client(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form_client"));
    setWindowTitle(QString::fromUtf8("屏幕监视"));
    setGeometry(452, 280, 310, 253);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    // A lowered outer and a lowered inner bevel, one pixel each: the picture starts 2 pixels in.
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    m_image = new QLabel(panel);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setScaledContents(true);
    m_image->setMinimumSize(1, 1);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(m_image);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
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
