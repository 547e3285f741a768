#pragma once

#include "mailbridge/discovery/FoundSettings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTextStream>

#include <functional>

// Answers the search for one address; the command line waits on the real one.
using SettingsSearch = std::function<DiscoveryResult(const QString &address)>;

QString accountUsageText();

// Why text cannot be the address to look up (a control character, not exactly one @, or
// nothing before or after it); empty when it can.
QString addressProblem(const QString &address);

// `ferrymail account find ADDRESS`: prints the IMAP settings the Mail account window would
// fill in, with where they came from. arguments are those after "account". Exit codes: 0
// found; 1 nothing found or the lookup failed (the reason on err); 2 wrong arguments.
int runAccountCommand(const QList<QByteArray> &arguments, const SettingsSearch &search,
                      QTextStream &out, QTextStream &err);
