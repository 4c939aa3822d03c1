#pragma once

#include <QObject>

#include "ui/MainWindowLayout.h"

class ClassroomSession;
class QPoint;

// The roster on screen: the details view with its columns and sorting headers, the icon views
// of the same rows, the screen wall's tiles, and the one-student menu opened over a row or a
// tile.
class RosterViews : public QObject
{
    Q_OBJECT

public:
    enum class ViewStyle { vsIcon, vsSmallIcon, vsReport };

    RosterViews(const MainWindowLayout &ui, ClassroomSession &session, QObject *parent = nullptr);

    void setViewStyle(ViewStyle style);
    // The wall shown in place of the view the teacher had, or that view again.
    void showWall(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ListView1ContextPopup(const QPoint &pos);
    void ListView1ColumnClick(int column);
    void leaveWall();

    const MainWindowLayout &m_ui;
    ClassroomSession &m_session;
    QWidget *m_viewBeforeWall = nullptr;
};
