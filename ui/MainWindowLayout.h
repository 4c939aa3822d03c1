#pragma once

#include <QList>

class QAction;
class QLabel;
class QListView;
class QStackedWidget;
class QMainWindow;
class QMenu;
class QTreeView;
class QToolButton;
class ScreenWallView;

// The main window's widgets, built once with their component names and design texts.
struct MainWindowLayout
{
    // A command menu item and the fixed command text it sends.
    struct CommandItem
    {
        QAction *action;
        const char *text;
    };

    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QToolButton *SpeedButton4 = nullptr;
    QToolButton *SpeedButton5 = nullptr;
    // The roster in the details style; the icon styles show the same rows in IconView, the
    // screen wall as tiles in Wall.
    QTreeView *ListView1 = nullptr;
    QListView *IconView = nullptr;
    ScreenWallView *Wall = nullptr;
    QStackedWidget *RosterViews = nullptr;
    QLabel *StatusPanel[3] = {};

    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N3 = nullptr;
    QAction *N6 = nullptr;
    QAction *N7 = nullptr;
    QAction *N8 = nullptr;
    // "屏幕墙", checked while the wall is shown.
    QAction *WallItem = nullptr;

    QMenu *PopupMenu2 = nullptr;
    QList<CommandItem> allStudentsCommands;
    QAction *N9 = nullptr;
    QAction *N10 = nullptr;
    // "开机": the remembered computers that are not connected are woken.
    QAction *N15 = nullptr;

    QMenu *PopupMenu3 = nullptr;
    QList<CommandItem> oneStudentCommands;
    QAction *N11 = nullptr;
    QAction *N12 = nullptr;
    QAction *N13 = nullptr;
    QAction *N14 = nullptr;

    // Lays out the toolbar, the roster tab, the status bar and the menus in the window.
    static MainWindowLayout build(QMainWindow *window);
};
