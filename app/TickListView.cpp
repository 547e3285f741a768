#include "app/TickListView.h"

#include <QMouseEvent>

TickListView::TickListView(QWidget *parent) : QListView(parent)
{
    // Every line is one text high: lets the view skip measuring 100,000 lines.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TickListView::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}
