#pragma once

#include <QMessageBox>
#include <functional>

// Every message box of the tool goes through here, so tests can see them without a modal
// loop blocking.
namespace MessageBoxes {

using Recorder =
    std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;

// While a recorder is set, boxes are handed to it instead of being shown.
void setRecorder(Recorder recorder);

void show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);
// The modal box with an OK button, whatever recorder is set.
void showModal(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);

// An entry the tool refuses: "Error", the warning icon, OK only.
void showRefusal(QWidget *parent, const QString &text);
// A failure, with the error's own description.
void showFailure(QWidget *parent, const QString &description);

using Answerer = std::function<bool(const QString &title, const QString &text)>;
// While an answerer is set, questions are handed to it instead of being shown.
void setAnswerer(Answerer answerer);
// A question with Yes and No, No the default; true for Yes.
bool ask(QWidget *parent, const QString &title, const QString &text);
// The modal question itself, whatever answerer is set.
bool askModal(QWidget *parent, const QString &title, const QString &text);
// A question whose yes does something at once: `action` ("Send") and Cancel, Cancel the
// default and Escape's; true for the action. Answered as ask() is while an answerer is set.
bool confirm(QWidget *parent, const QString &title, const QString &text, const QString &action);
bool confirmModal(QWidget *parent, const QString &title, const QString &text,
                  const QString &action);

} // namespace MessageBoxes
