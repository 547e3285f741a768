#include "app/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace {
QToolButton *arrowButton(Qt::ArrowType arrow, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    // The spinner as a whole takes the focus, not its halves.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
} // namespace

UpDown::UpDown(QLineEdit *buddy, int minimum, int maximum, int step, int value, QWidget *parent)
    : QWidget(parent), m_buddy(buddy), m_up(arrowButton(Qt::UpArrow, this)),
      m_down(arrowButton(Qt::DownArrow, this)), m_minimum(minimum), m_maximum(maximum),
      m_step(step), m_value(value)
{
    // No tab stop of its own that nothing shows: Up and Down in the field step instead.
    setFocusPolicy(Qt::NoFocus);
    m_buddy->installEventFilter(this);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::stepBy(int delta)
{
    bool isNumber = false;
    const int typed = m_buddy->text().trimmed().toInt(&isNumber);
    if (isNumber)
        m_value = std::clamp(typed, m_minimum, m_maximum);
    const int next = std::clamp(m_value + delta, m_minimum, m_maximum);
    m_value = next;
    m_buddy->setText(QString::number(m_value));
}

void UpDown::resizeEvent(QResizeEvent *)
{
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

bool UpDown::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            keyPressEvent(static_cast<QKeyEvent *>(event));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        stepUp();
    else if (event->key() == Qt::Key_Down)
        stepDown();
    else
        QWidget::keyPressEvent(event);
}
