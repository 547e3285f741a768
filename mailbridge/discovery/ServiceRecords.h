#pragma once

#include <QString>

#include <optional>
#include <vector>

// One DNS SRV record as the lookup gave it.
struct ServiceRecord
{
    QString target;
    int port = 0;
    int priority = 0;
    int weight = 0;
};

// The record to use: the lowest priority, and of those the greatest weight, so the same
// records always show the same server. nullopt when there is none, or when a target of "."
// says the domain decidedly offers no such service. Records with port 0 are skipped.
std::optional<ServiceRecord> preferredRecord(const std::vector<ServiceRecord> &records);

// Whether host lies in domain or is the domain itself; a server elsewhere is worth a word to
// the person, since anyone who can forge DNS answers could name it.
bool isWithinDomain(const QString &host, const QString &domain);
