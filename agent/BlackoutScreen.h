#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

class QScreen;

// The black-out: a black window over every monitor, above everything (override-redirect, so no
// window manager can stack anything over it), holding keyboard and pointer, with a short line.
class BlackoutScreen : public QObject
{
    Q_OBJECT

public:
    explicit BlackoutScreen(QObject *parent = nullptr);
    ~BlackoutScreen() override;

    void show();
    void hide();
    // Raises the windows and takes keyboard and pointer (again, after another window had them).
    void hold();
    bool isShown() const { return !m_windows.empty(); }
    // The windows, one per monitor, for tests.
    std::vector<QWidget *> windows() const;

private:
    void cover(QScreen *screen);
    void onScreensChanged();

    std::vector<std::unique_ptr<QWidget>> m_windows;
};
