#pragma once

#include "common/Failure.h"
#include "settings/SettingsStore.h"

#include <QMap>
#include <QSet>
#include <QStringList>

// A settings store in memory that records the order of writes.
class MemorySettingsStore : public SettingsStore
{
public:
    QString read(const QString &section, const QString &key,
                 const QString &defaultValue = QString()) const override
    {
        return values.value(section + '/' + key, defaultValue);
    }
    void write(const QString &section, const QString &key, const QString &value) override
    {
        writes << section + '/' + key;
        if (failingWrites.contains(section + '/' + key))
            throw Failure(QStringLiteral("Could not save the setting %1: disk full").arg(key));
        values.insert(section + '/' + key, value);
    }

    QMap<QString, QString> values;
    QStringList writes;
    // "Section/Key" of the writes that fail, keeping the earlier value.
    QSet<QString> failingWrites;
};
