#pragma once

#include "app/MessageBoxes.h"
#include "common/Failure.h"

#include <exception>

// The one place a handler's failure is caught: exceptions must not cross Qt's event loop, and
// the person must see what went wrong.
template <typename Handler> void runGuarded(QWidget *window, Handler &&handler)
{
    try {
        handler();
    } catch (const Refusal &refusal) {
        MessageBoxes::showRefusal(window, refusal.description());
    } catch (const Failure &failure) {
        MessageBoxes::showFailure(window, failure.description());
    } catch (const std::exception &error) {
        MessageBoxes::showFailure(window, QString::fromLocal8Bit(error.what()));
    }
}
