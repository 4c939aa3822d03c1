#include "agent/MessageWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

const char kCaption[] = "教师消息";
const char kClose[] = "关闭";
// Whatever comes over the network, the window shows at most this much.
constexpr qsizetype kMaxShown = 64 * 1024;
constexpr QSize kSize(560, 340);
constexpr int kTextPointSize = 14;

} // namespace

MessageWindow::MessageWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("MessageWindow"));
    setWindowTitle(QString::fromUtf8(kCaption));
    resize(kSize);
    auto *layout = new QVBoxLayout(this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    m_text = new QLabel(scroll);
    m_text->setObjectName(QStringLiteral("MessageText"));
    m_text->setTextFormat(Qt::PlainText);
    QFont font = m_text->font();
    font.setPointSize(kTextPointSize);
    m_text->setFont(font);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    scroll->setWidget(m_text);
    layout->addWidget(scroll);
    auto *close = new QPushButton(QString::fromUtf8(kClose), this);
    close->setObjectName(QStringLiteral("MessageClose"));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void MessageWindow::showMessage(const QString &text)
{
    m_text->setText(text.left(kMaxShown));
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

QString MessageWindow::text() const
{
    return m_text->text();
}
