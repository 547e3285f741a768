#include "support/ArmedBoxes.h"

#include "app/MessageBoxes.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace ArmedBoxes {

namespace {

QMessageBox *openBox()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
        return box;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

void failUnarmed()
{
    MessageBoxes::setRecorder([](QMessageBox::Icon, const QString &title, const QString &text) {
        ADD_FAILURE() << "A message box nobody expected: " << title.toStdString() << ": "
                      << text.toStdString();
    });
    MessageBoxes::setAnswerer([](const QString &title, const QString &text) {
        ADD_FAILURE() << "A question nobody expected: " << title.toStdString() << ": "
                      << text.toStdString();
        return false;
    });
}

void showNextForReal(QWidget *parent, std::function<void(QMessageBox *box)> answer)
{
    MessageBoxes::setRecorder(
        [owner = QPointer<QWidget>(parent), answer = std::move(answer)](
            QMessageBox::Icon icon, const QString &title, const QString &text) {
            // Runs inside the box's own modal loop.
            QTimer::singleShot(0, [answer] {
                const QPointer<QMessageBox> box = openBox();
                if (!box) {
                    ADD_FAILURE() << "The message box did not open";
                    return;
                }
                answer(box);
                if (box && box->isVisible())
                    box->done(QMessageBox::Ok);
            });
            failUnarmed();
            MessageBoxes::showModal(owner, icon, title, text);
        });
}

} // namespace ArmedBoxes
