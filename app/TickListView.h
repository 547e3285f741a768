#pragma once

#include <QListView>

// The file list's view: reports every mouse button released over it.
class TickListView : public QListView
{
    Q_OBJECT

public:
    explicit TickListView(QWidget *parent = nullptr);

signals:
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
