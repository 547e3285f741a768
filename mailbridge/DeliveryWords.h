#pragma once

#include <QString>
#include <QStringList>

// The words that say where a Send's messages went, shared by the outboxes.

// "1 message", "3 messages"; `noun` in the singular, made plural with an "s".
QString countOf(int count, const QString &noun);

// The recipients kept short: "ann@example.org", "ann@example.org and bob@example.org",
// "ann@example.org, bob@example.org and 2 others". Empty for none.
QString recipientsText(const QStringList &addresses);
