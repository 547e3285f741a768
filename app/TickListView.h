#pragma once

#include <QTreeView>

// The file list's view, with a column each for the name, the size and the message: reports
// every mouse button released over it, and the keys that stand for a right-click.
class TickListView : public QTreeView
{
    Q_OBJECT

public:
    explicit TickListView(QWidget *parent = nullptr);

signals:
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    // The Menu key or Shift+F10: what a right-click does.
    void tickAllRequested();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
