#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// A pair of arrows coupled to a text field: every step writes the value into the field.
// Like a native up-down control it takes up a number typed into the field before stepping.
class UpDown : public QWidget
{
    Q_OBJECT

public:
    UpDown(QLineEdit *buddy, int minimum, int maximum, int step, int value,
           QWidget *parent = nullptr);

    int value() const { return m_value; }

public slots:
    void stepUp() { stepBy(m_step); }
    void stepDown() { stepBy(-m_step); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stepBy(int delta);

    QLineEdit *m_buddy;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_minimum;
    int m_maximum;
    int m_step;
    int m_value;
};
