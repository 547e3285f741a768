#include "mailbridge/discovery/ServiceRecords.h"

namespace {

QString withoutRootDot(QString name)
{
    if (name.endsWith(u'.'))
        name.chop(1);
    return name;
}

} // namespace

std::optional<ServiceRecord> preferredRecord(const std::vector<ServiceRecord> &records)
{
    std::optional<ServiceRecord> best;
    for (const ServiceRecord &record : records) {
        const QString target = withoutRootDot(record.target.trimmed());
        if (target.isEmpty())
            return std::nullopt;
        if (record.port <= 0 || record.port > 65535)
            continue;
        if (!best || record.priority < best->priority ||
            (record.priority == best->priority && record.weight > best->weight)) {
            best = record;
            best->target = target.toLower();
        }
    }
    return best;
}

bool isWithinDomain(const QString &host, const QString &domain)
{
    const QString h = withoutRootDot(host).toLower();
    const QString d = withoutRootDot(domain).toLower();
    return h == d || h.endsWith(QLatin1Char('.') + d);
}
