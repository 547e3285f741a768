#pragma once

#include "mailbridge/discovery/ServiceRecords.h"

#include <QHostAddress>
#include <QString>

#include <chrono>
#include <vector>

// What the DNS said to a question for SRV records. A name that does not exist and a name
// without such records are answers; a question that got no answer is not.
struct SrvAnswer
{
    enum class Status
    {
        Records,
        NoSuchName, // NXDOMAIN
        NoData,     // the name exists, without SRV records
        Failed,     // no usable answer: no name server reached, a timeout, a refusal
    };

    Status status = Status::Failed;
    std::vector<ServiceRecord> records;
    QString failure; // with Failed: what went wrong, for a person
};

// At most this many records of an answer are read; the answer itself is at most 64 KiB.
inline constexpr int maxServiceRecords = 64;

// Reads the SRV records of a DNS answer of length bytes; Failed when it cannot be read. Only
// the first maxServiceRecords answers count; a record whose target cannot be read is skipped.
SrvAnswer readSrvAnswer(const unsigned char *answer, int length);

// Asks the system's resolver, or nameserver (an IPv4 address, port 53) when not null, for the
// SRV records of name. Blocks for at most about timeout (at least a second): call it on a
// worker.
SrvAnswer querySrv(const QString &name, const QHostAddress &nameserver,
                   std::chrono::milliseconds timeout);
