#pragma once

#include <QString>

#include <optional>

class QWidget;

struct PasswordAnswer
{
    QString password;
    bool remember = false;
};

// Asks for the mail account's password before a Send, with a "Remember" tick box; nothing
// when the person cancels.
std::optional<PasswordAnswer> askPasswordInDialog(QWidget *owner, const QString &destination);
