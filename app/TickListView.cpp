#include "app/TickListView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

TickListView::TickListView(QWidget *parent) : QTreeView(parent)
{
    // Every line is one text high: lets the view skip measuring 100,000 lines.
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TickListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void TickListView::keyPressEvent(QKeyEvent *event)
{
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (menuKey || shiftF10) {
        event->accept();
        emit tickAllRequested();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TickListView::contextMenuEvent(QContextMenuEvent *event)
{
    // A right-click is told by mouseUp; a keyboard's request may arrive as this event alone.
    if (event->reason() != QContextMenuEvent::Mouse)
        emit tickAllRequested();
    event->accept();
}
