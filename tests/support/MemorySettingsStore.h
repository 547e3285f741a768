#pragma once

#include "settings/SettingsStore.h"

#include <QMap>
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
        values.insert(section + '/' + key, value);
    }

    QMap<QString, QString> values;
    QStringList writes;
};
