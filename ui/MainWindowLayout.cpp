#include "ui/MainWindowLayout.h"

#include "protocol/Commands.h"
#include "ui/AppIcon.h"
#include "ui/ScreenWallView.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {
struct ButtonDesign
{
    const char *name;
    const char *caption;
    int left, top, width, height;
    QStyle::StandardPixmap glyph;
};
// Left to right: demonstration, black-out, rotation, remote control, exit.
constexpr ButtonDesign kButtons[] = {
    {"SpeedButton1", "教师演示", 9, 11, 89, 34, QStyle::SP_ComputerIcon},
    {"SpeedButton3", "全部黑屏", 106, 11, 89, 35, QStyle::SP_DesktopIcon},
    {"SpeedButton2", "循环监视", 202, 11, 89, 35, QStyle::SP_BrowserReload},
    {"SpeedButton4", "远程控制", 302, 10, 89, 35, QStyle::SP_DriveNetIcon},
    {"SpeedButton5", "退出系统", 403, 11, 89, 34, QStyle::SP_DialogCloseButton},
};

struct ItemDesign
{
    const char *name;
    const char *caption;
    const char *text;
};
// N04 stands third and sends "03"; N03 stands fourth and sends "04".
constexpr ItemDesign kAllStudents[] = {
    {"N01", "注销用户", command::LogOff},     {"N02", "重新启动", command::Restart},
    {"N04", "关机", command::ShutDown},       {"N03", "记事本", command::Notepad},
    {"N05", "资源管理器", command::Explorer}, {"N06", "写字板", command::WordPad},
    {"N07", "画图", command::Paint},          {"N08", "Microsoft Word", command::Word},
};
constexpr ItemDesign kOneStudent[] = {
    {"MenuItem1", "注销用户", command::LogOff},     {"MenuItem2", "重新启动", command::Restart},
    {"MenuItem3", "关机", command::ShutDown},       {"MenuItem4", "记事本", command::Notepad},
    {"MenuItem5", "资源管理器", command::Explorer}, {"MenuItem6", "写字板", command::WordPad},
    {"MenuItem7", "画图", command::Paint},          {"MenuItem8", "Microsoft Word", command::Word},
};
constexpr int kStatusWidths[] = {200, 250};

QFont pixelFont(const char *family, int pixels)
{
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    return font;
}

QAction *addItem(QMenu *menu, const char *name, const char *caption)
{
    QAction *action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QList<MainWindowLayout::CommandItem> addCommands(QMenu *menu, const ItemDesign *items, int count)
{
    QList<MainWindowLayout::CommandItem> commands;
    for (int i = 0; i < count; ++i)
        commands.append({addItem(menu, items[i].name, items[i].caption), items[i].text});
    return commands;
}

QWidget *buildToolbar(QWidget *parent, MainWindowLayout &ui)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("Panel3"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedHeight(57);
    QToolButton **targets[] = {&ui.SpeedButton1, &ui.SpeedButton3, &ui.SpeedButton2,
                               &ui.SpeedButton4, &ui.SpeedButton5};
    for (int i = 0; i < 5; ++i) {
        const ButtonDesign &d = kButtons[i];
        auto *button = new QToolButton(panel);
        button->setObjectName(QString::fromLatin1(d.name));
        button->setText(QString::fromUtf8(d.caption));
        button->setAutoRaise(true);
        button->setIcon(panel->style()->standardIcon(d.glyph));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setFont(pixelFont("宋体", 12));
        button->setGeometry(d.left, d.top, d.width, d.height);
        *targets[i] = button;
    }
    auto *labels = new QFrame(panel);
    labels->setObjectName(QStringLiteral("Panel6"));
    labels->setFixedWidth(185);
    auto *labelLayout = new QVBoxLayout(labels);
    labelLayout->setContentsMargins(2, 2, 2, 2);
    labelLayout->setSpacing(0);
    const char *const texts[] = {"Velmora多媒体网络教室", "教师机", "V1.0"};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(QString::fromUtf8(texts[i]), labels);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        labelLayout->addWidget(label);
    }
    auto *panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    // The buttons sit at fixed places up to x = 492; the labels never cover them.
    panelLayout->addSpacing(500);
    panelLayout->addStretch();
    panelLayout->addWidget(labels);
    return panel;
}

QWidget *buildRosterTab(QWidget *parent, MainWindowLayout &ui)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("Panel2"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *pages = new QTabWidget(panel);
    pages->setObjectName(QStringLiteral("PageControl1"));
    pages->setFont(pixelFont("楷体_GB2312", 19));
    pages->setStyleSheet(QStringLiteral("QTabBar::tab { color: maroon; }"));
    auto *tab = new QWidget(pages);
    tab->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(tab, pages->style()->standardIcon(QStyle::SP_ComputerIcon),
                  QString::fromUtf8("在线学生"));

    ui.ListView1 = new QTreeView(tab);
    ui.ListView1->setObjectName(QStringLiteral("ListView1"));
    ui.ListView1->setFont(pixelFont("宋体", 13));
    ui.ListView1->setRootIsDecorated(false);
    // Several rows may be selected (Ctrl, Shift) for a demonstration to them alone.
    ui.ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui.ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.ListView1->setUniformRowHeights(true);
    ui.ListView1->header()->setSectionsClickable(true);
    ui.ListView1->header()->setSortIndicatorShown(false);

    ui.IconView = new QListView(tab);
    ui.IconView->setObjectName(QStringLiteral("ListView1Icons"));
    ui.IconView->setFont(ui.ListView1->font());
    ui.IconView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // It shows column 0 only, but shares the details view's selection, where a one-student
    // command reads a whole selected row: a click or an arrow key here must select all of it.
    ui.IconView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.IconView->setMovement(QListView::Static);
    ui.IconView->setResizeMode(QListView::Adjust);

    ui.Wall = new ScreenWallView(tab);
    ui.Wall->setFont(ui.ListView1->font());

    ui.RosterViews = new QStackedWidget(tab);
    ui.RosterViews->addWidget(ui.ListView1);
    ui.RosterViews->addWidget(ui.IconView);
    ui.RosterViews->addWidget(ui.Wall);
    auto *tabLayout = new QVBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->addWidget(ui.RosterViews);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(pages);
    return panel;
}

void buildStatusBar(QMainWindow *window, MainWindowLayout &ui)
{
    QStatusBar *bar = window->statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(bar);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setAlignment(Qt::AlignCenter);
        if (i < 2) {
            label->setFixedWidth(kStatusWidths[i]);
            bar->addWidget(label);
        } else {
            bar->addWidget(label, 1);
        }
        ui.StatusPanel[i] = label;
    }
}

void buildMenus(QMainWindow *window, MainWindowLayout &ui)
{
    QMenuBar *bar = window->menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    ui.N1 = bar->addAction(QString::fromUtf8("设置"));
    ui.N1->setObjectName(QStringLiteral("N1"));
    QMenu *view = bar->addMenu(QString::fromUtf8("查看"));
    view->setObjectName(QStringLiteral("N4"));
    ui.N6 = addItem(view, "N6", "大图标");
    ui.N7 = addItem(view, "N7", "小图标");
    ui.N8 = addItem(view, "N8", "详细资料");
    view->addSeparator();
    ui.WallItem = addItem(view, "WallItem", "屏幕墙");
    ui.WallItem->setCheckable(true);
    QMenu *help = bar->addMenu(QString::fromUtf8("帮助"));
    help->setObjectName(QStringLiteral("N5"));
    ui.N2 = addItem(help, "N2", "如何使用");
    ui.N3 = addItem(help, "N3", "关于作者");

    ui.PopupMenu2 = new QMenu(window);
    ui.PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    ui.allStudentsCommands = addCommands(ui.PopupMenu2, kAllStudents, 8);
    ui.N9 = addItem(ui.PopupMenu2, "N9", "发送消息...");
    ui.N10 = addItem(ui.PopupMenu2, "N10", "自定义命令...");
    ui.PopupMenu2->addSeparator();
    ui.N15 = addItem(ui.PopupMenu2, "N15", "开机");
    // With the class switched off nobody is connected and 远程控制 refuses, yet that is when
    // 开机 is wanted: the menu bar offers the same item.
    bar->insertAction(help->menuAction(), ui.N15);

    ui.PopupMenu3 = new QMenu(window);
    ui.PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    ui.oneStudentCommands = addCommands(ui.PopupMenu3, kOneStudent, 8);
    ui.N11 = addItem(ui.PopupMenu3, "N11", "黑屏");
    ui.N12 = addItem(ui.PopupMenu3, "N12", "监视");
    ui.N13 = addItem(ui.PopupMenu3, "N13", "发送消息...");
    ui.N14 = addItem(ui.PopupMenu3, "N14", "自定义命令...");
    ui.N16 = addItem(ui.PopupMenu3, "N16", "学生演示");

    ui.DemoMenu = new QMenu(window);
    ui.DemoMenu->setObjectName(QStringLiteral("DemoMenu"));
    ui.DemoFullAll = addItem(ui.DemoMenu, "DemoFullAll", "全屏演示");
    ui.DemoWindowAll = addItem(ui.DemoMenu, "DemoWindowAll", "窗口演示");
    ui.DemoMenu->addSeparator();
    ui.DemoFullSelected = addItem(ui.DemoMenu, "DemoFullSelected", "向选定学生全屏演示");
    ui.DemoWindowSelected = addItem(ui.DemoMenu, "DemoWindowSelected", "向选定学生窗口演示");
    ui.SpeedButton1->setMenu(ui.DemoMenu);
    ui.SpeedButton1->setPopupMode(QToolButton::MenuButtonPopup);
}
} // namespace

MainWindowLayout MainWindowLayout::build(QMainWindow *window)
{
    MainWindowLayout ui;
    window->setWindowIcon(appIcon());
    auto *central = new QWidget(window);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildToolbar(central, ui));
    layout->addWidget(buildRosterTab(central, ui), 1);
    window->setCentralWidget(central);
    buildStatusBar(window, ui);
    buildMenus(window, ui);
    return ui;
}

int MainWindowLayout::selectedRow() const
{
    const QItemSelectionModel *selection = ListView1->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row()))
        return current.row();
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

QList<int> MainWindowLayout::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ListView1->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
