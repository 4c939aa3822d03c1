#include "ui/RosterViews.h"

#include "classroom/ClassroomSession.h"
#include "classroom/RosterModel.h"
#include "system/Guard.h"
#include "ui/ScreenWallView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeView>

namespace {
constexpr int kColumnWidths[RosterModel::ColumnCount] = {0, 120, 80, 120, 100, 100};
// The roster's one image list holds 16 x 16 pictures, and both icon styles draw from it.
constexpr QSize kImageSize(16, 16);
} // namespace

RosterViews::RosterViews(const MainWindowLayout &ui, ClassroomSession &session, QObject *parent)
    : QObject(parent), m_ui(ui), m_session(session)
{
    RosterModel &model = session.rosterModel();
    model.setRowImage(
        ui.ListView1->style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(kImageSize));
    ui.ListView1->setModel(&model);
    ui.ListView1->setIconSize(kImageSize);
    // Both views show the same rows and the same selected row.
    ui.IconView->setModel(&model);
    ui.IconView->setSelectionModel(ui.ListView1->selectionModel());
    ui.Wall->setModel(&model, ui.ListView1->selectionModel());
    QHeaderView *header = ui.ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(RosterModel::NameColumn, QHeaderView::Stretch);
    for (int column = RosterModel::AddressColumn; column < RosterModel::ColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column]);

    // Context requests are taken from the views' own events, which say whether the mouse made
    // them: one from the keyboard points at no row and opens nothing.
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(ui.ListView1),
                                    static_cast<QAbstractItemView *>(ui.IconView)}) {
        view->setContextMenuPolicy(Qt::DefaultContextMenu);
        view->viewport()->installEventFilter(this);
    }
    ui.Wall->installEventFilter(this);
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { guard::run([&] { ListView1ColumnClick(column); }); });
    connect(ui.N6, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsIcon); });
    connect(ui.N7, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsSmallIcon); });
    connect(ui.N8, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsReport); });

    connect(ui.WallItem, &QAction::toggled, this,
            [this](bool shown) { guard::run([&] { showWall(shown); }); });
    // A tile is a row: double-clicked, its student is monitored as "监视" does.
    connect(ui.Wall, &ScreenWallView::tileActivated, ui.N12, &QAction::trigger);
    connect(ui.Wall, &ScreenWallView::pictureSizeChanged, this,
            [this](QSize size) { m_session.setTileSize(size.width(), size.height()); });
    connect(&session, &ClassroomSession::tilePictureChanged, ui.Wall, &ScreenWallView::setPicture);
}

bool RosterViews::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    const auto *request = static_cast<QContextMenuEvent *>(event);
    if (request->reason() == QContextMenuEvent::Mouse) {
        const QPoint pos = request->pos();
        guard::run([&] { ListView1ContextPopup(pos); });
    }
    return true;
}

// Choosing a style while the wall is shown leaves the wall for that style.
void RosterViews::setViewStyle(ViewStyle style)
{
    leaveWall();
    if (style == ViewStyle::vsReport) {
        m_ui.RosterViews->setCurrentWidget(m_ui.ListView1);
        return;
    }
    const bool large = style == ViewStyle::vsIcon;
    m_ui.IconView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_ui.IconView->setFlow(QListView::LeftToRight);
    m_ui.IconView->setWrapping(true);
    m_ui.IconView->setIconSize(kImageSize);
    m_ui.IconView->setGridSize(large ? QSize(96, 64) : QSize(160, 20));
    m_ui.RosterViews->setCurrentWidget(m_ui.IconView);
}

void RosterViews::showWall(bool shown)
{
    if (!shown) {
        QWidget *before = m_viewBeforeWall;
        leaveWall();
        if (before)
            m_ui.RosterViews->setCurrentWidget(before);
        return;
    }
    if (m_viewBeforeWall)
        return;
    m_viewBeforeWall = m_ui.RosterViews->currentWidget();
    m_ui.RosterViews->setCurrentWidget(m_ui.Wall);
    m_session.setTileSize(m_ui.Wall->pictureSize().width(), m_ui.Wall->pictureSize().height());
    m_session.showWall();
}

// The students are told to stop, and the wall keeps no picture for a later showing.
void RosterViews::leaveWall()
{
    if (!m_viewBeforeWall)
        return;
    m_viewBeforeWall = nullptr;
    m_session.hideWall();
    m_ui.Wall->clearPictures();
    const QSignalBlocker quiet(m_ui.WallItem);
    m_ui.WallItem->setChecked(false);
}

// The request comes from whichever view is shown, in its viewport's coordinates; below the
// last row or tile no menu opens. The tile under the mouse was selected by its press.
void RosterViews::ListView1ContextPopup(const QPoint &pos)
{
    const QWidget *shown = m_ui.RosterViews->currentWidget();
    const bool onRow = shown == m_ui.Wall       ? m_ui.Wall->tileAt(pos) >= 0
                       : shown == m_ui.IconView ? m_ui.IconView->indexAt(pos).isValid()
                                                : m_ui.ListView1->indexAt(pos).isValid();
    if (!onRow)
        return;
    m_ui.PopupMenu3->popup(QCursor::pos());
}

void RosterViews::ListView1ColumnClick(int column)
{
    m_session.sortByColumn(column);
}
