#pragma once

#include "common/Failure.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapReader.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// The connection broke while a command was under way: closed, silent, past its deadline, or
// past a bound of what the client reads. It was dropped; whether the command took effect,
// only the server knows.
class ImapBroken : public Failure
{
public:
    using Failure::Failure;
};

// What a person reads when talking to the server failed. doing: "file ... into ...".
namespace imapFailure {

// Said after a failure of a message that did not go whole.
extern const QString keepsNothing;

QString lost(const ImapEndpoint &endpoint, const QString &doing, const QString &detail,
             const QByteArray &lastWords);
QString silent(const ImapEndpoint &endpoint, const QString &doing, std::chrono::seconds bound);
QString overDeadline(const ImapEndpoint &endpoint, const QString &doing,
                     std::chrono::seconds bound);
// "a minute", "5 minutes", "30 seconds".
QString duration(std::chrono::seconds span);
// what: "a line longer than 1048576 bytes".
QString unreadable(const ImapEndpoint &endpoint, const QString &doing, const QString &what);
// answer: the tagged NO or BAD.
QString refused(const ImapEndpoint &endpoint, const QString &doing, const ImapResponse &answer);
// A libcurl failure while connecting; said: the refusal libcurl read, if any.
QString connecting(const ImapEndpoint &endpoint, const QString &doing, int curlCode,
                   const QString &detail, const QByteArray &said);

} // namespace imapFailure
