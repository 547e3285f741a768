#pragma once

#include "mailbridge/imap/ImapExchange.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Proving who the session is, on a connection just opened. Each returns the capabilities
// the server announces once logged in, or throws Failure saying what to correct, ImapBroken
// or SendCancelled.

QList<QByteArray> logInWithPassword(ImapExchange &exchange, const ImapEndpoint &endpoint,
                                    const QString &password, const QString &doing);

// The SASL mechanism of the two the server offers for a bearer token; empty for none.
QByteArray tokenMechanism(const QList<QByteArray> &capabilities);

// One AUTHENTICATE with an OAuth 2.0 access token: its answer, OK or the refusal. The server
// gets only so many rounds of continuations before the connection is dropped.
ImapResult authenticateWithToken(ImapExchange &exchange, const ImapEndpoint &endpoint,
                                 const QList<QByteArray> &capabilities, const QByteArray &token,
                                 const QString &doing);

// The capabilities an answer announces, else those a CAPABILITY command tells.
QList<QByteArray> capabilitiesAfter(ImapExchange &exchange, const ImapResult &answer,
                                    const QString &doing);
