#include "app/PasswordPrompt.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

std::optional<PasswordAnswer> askPasswordInDialog(QWidget *owner, const QString &destination)
{
    QDialog dialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint);
    dialog.setObjectName(QStringLiteral("frmPassword"));
    dialog.setWindowTitle(QStringLiteral("Password"));
    auto *question = new QLabel(
        QStringLiteral("The password to file the messages into %1:").arg(destination), &dialog);
    question->setWordWrap(true);
    auto *password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("txtPassword"));
    password->setEchoMode(QLineEdit::Password);
    auto *remember = new QCheckBox(QStringLiteral("Remember the password in the keyring"), &dialog);
    remember->setObjectName(QStringLiteral("chkRemember"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(question);
    layout->addWidget(password);
    layout->addWidget(remember);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(360);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return PasswordAnswer{password->text(), remember->isChecked()};
}
