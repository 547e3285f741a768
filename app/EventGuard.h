#pragma once

#include <QString>

class QWidget;

// The description a person sees for the exception being handled: a Failure's own, anything
// else a generic one. Call it only inside a catch block.
QString describeCurrentException();

// Shows the exception being handled in a box: a Refusal as "Error", anything else as a
// failure. Call it only inside a catch block; it throws nothing.
void showCurrentException(QWidget *window) noexcept;

// The one place a handler's failure is caught: exceptions must not cross Qt's event loop, and
// the person must see what went wrong.
template <typename Handler> void runGuarded(QWidget *window, Handler &&handler)
{
    try {
        handler();
    } catch (...) {
        showCurrentException(window);
    }
}
