#pragma once

#include <QString>

struct ImapAccountCheck;

// What the mail account's Test found, in two parts: a few plain lines anyone can read, and
// the server's own words for whoever opens the details.
struct AccountTestReport
{
    QString lines;
    QString details;
};

AccountTestReport accountTestReport(const ImapAccountCheck &check, const QString &user,
                                    const QString &host);
