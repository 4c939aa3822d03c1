#include "ui/RosterViews.h"

#include "classroom/ClassroomSession.h"
#include "classroom/RosterModel.h"
#include "system/Guard.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
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
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { guard::run([&] { ListView1ColumnClick(column); }); });
    connect(ui.N6, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsIcon); });
    connect(ui.N7, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsSmallIcon); });
    connect(ui.N8, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsReport); });
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

void RosterViews::setViewStyle(ViewStyle style)
{
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

// The request comes from whichever view is shown, in its viewport's coordinates; below the
// last row no menu opens.
void RosterViews::ListView1ContextPopup(const QPoint &pos)
{
    const QAbstractItemView *view = m_ui.RosterViews->currentWidget() == m_ui.IconView
                                        ? static_cast<QAbstractItemView *>(m_ui.IconView)
                                        : m_ui.ListView1;
    if (!view->indexAt(pos).isValid())
        return;
    m_ui.PopupMenu3->popup(QCursor::pos());
}

void RosterViews::ListView1ColumnClick(int column)
{
    m_session.sortByColumn(column);
}
