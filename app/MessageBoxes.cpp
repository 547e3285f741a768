#include "app/MessageBoxes.h"

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
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
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
