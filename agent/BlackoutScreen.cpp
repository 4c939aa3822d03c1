#include "agent/BlackoutScreen.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const char kLine[] = "老师已锁定屏幕，请注意听讲";
constexpr int kLinePointSize = 20;

} // namespace

BlackoutScreen::BlackoutScreen(QObject *parent) : QObject(parent)
{
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &BlackoutScreen::onScreensChanged);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &BlackoutScreen::onScreensChanged);
}

BlackoutScreen::~BlackoutScreen() = default;

void BlackoutScreen::show()
{
    if (isShown()) {
        return;
    }
    for (QScreen *screen : QGuiApplication::screens()) {
        cover(screen);
    }
    hold();
}

void BlackoutScreen::hold()
{
    if (m_windows.empty()) {
        return;
    }
    for (const auto &window : m_windows) {
        window->raise();
    }
    // One window holds the grabs; X11 keeps them while it is mapped.
    m_windows.front()->activateWindow();
    m_windows.front()->grabKeyboard();
    m_windows.front()->grabMouse(Qt::BlankCursor);
}

void BlackoutScreen::hide()
{
    for (const auto &window : m_windows) {
        window->releaseKeyboard();
        window->releaseMouse();
    }
    m_windows.clear();
}

std::vector<QWidget *> BlackoutScreen::windows() const
{
    std::vector<QWidget *> list;
    for (const auto &window : m_windows) {
        list.push_back(window.get());
    }
    return list;
}

void BlackoutScreen::cover(QScreen *screen)
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                         Qt::WindowStaysOnTopHint |
                                                         Qt::X11BypassWindowManagerHint);
    window->setObjectName(QStringLiteral("BlackoutWindow"));
    window->setAttribute(Qt::WA_ShowWithoutActivating, false);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(0x60, 0x60, 0x60));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setCursor(Qt::BlankCursor);
    auto *layout = new QVBoxLayout(window.get());
    auto *line = new QLabel(QString::fromUtf8(kLine), window.get());
    line->setObjectName(QStringLiteral("BlackoutLine"));
    QFont font = line->font();
    font.setPointSize(kLinePointSize);
    line->setFont(font);
    line->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    layout->addWidget(line);
    window->setScreen(screen);
    window->setGeometry(screen->geometry());
    window->show();
    window->raise();
    m_windows.push_back(std::move(window));
}

void BlackoutScreen::onScreensChanged()
{
    if (!isShown()) {
        return;
    }
    hide();
    show();
}
