#include "app/EventGuard.h"

#include "app/MessageBoxes.h"
#include "common/Failure.h"

#include "common/SendCancelled.h"

#include <cstdio>
#include <new>

QString describeCurrentException()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure.description();
    } catch (const SendCancelled &cancelled) {
        return cancelled.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Ferrymail ran out of memory; what it was doing was not finished.");
    } catch (const std::exception &error) {
        return QStringLiteral("An unexpected error stopped what Ferrymail was doing: %1")
            .arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return QStringLiteral(
            "An unexpected error of unknown kind stopped what Ferrymail was doing.");
    }
}

void showCurrentException(QWidget *window) noexcept
{
    try {
        try {
            throw;
        } catch (const Refusal &refusal) {
            MessageBoxes::showRefusal(window, refusal.description());
        } catch (...) {
            MessageBoxes::showFailure(window, describeCurrentException());
        }
    } catch (...) {
        // Showing the box failed too; the terminal is all that is left.
        std::fputs("Ferrymail: a failure could not be shown\n", stderr);
    }
}
