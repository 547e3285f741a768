#include "app/MessageBoxes.h"

#include <QPushButton>

namespace MessageBoxes {

namespace {
Recorder &recorder()
{
    static Recorder instance;
    return instance;
}
} // namespace

Answerer &answerer()
{
    static Answerer instance;
    return instance;
}

void setRecorder(Recorder r)
{
    recorder() = std::move(r);
}

void setAnswerer(Answerer a)
{
    answerer() = std::move(a);
}

bool ask(QWidget *parent, const QString &title, const QString &text)
{
    if (answerer())
        return answerer()(title, text);
    return askModal(parent, title, text);
}

bool askModal(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    // Texts carry what servers and commands said: never markup, never a link.
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

bool confirm(QWidget *parent, const QString &title, const QString &text, const QString &action)
{
    // A copy: the answerer may install another while it runs.
    if (const Answerer current = answerer())
        return current(title, text);
    return confirmModal(parent, title, text, action);
}

bool confirmModal(QWidget *parent, const QString &title, const QString &text, const QString &action)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(action, QMessageBox::AcceptRole);
    yes->setObjectName(QStringLiteral("cmdConfirm"));
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // Enter alone must not set anything going.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return box.clickedButton() == yes;
}

void show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    // A copy: the recorder may install another while it runs.
    if (const Recorder current = recorder()) {
        current(icon, title, text);
        return;
    }
    showModal(parent, icon, title, text);
}

void showModal(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    // A server's refusal may hold HTML; Qt would guess it rich text and show a heading or a
    // link the server chose.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void showRefusal(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Warning, QStringLiteral("Error"), text);
}

void showFailure(QWidget *parent, const QString &description)
{
    show(parent, QMessageBox::Critical, QStringLiteral("Ferrymail"), description);
}

} // namespace MessageBoxes
