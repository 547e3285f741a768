#include "mailbridge/DefaultOutboxFolder.h"

#include "QtPrinting.h"

#include "settings/SettingsStore.h"

#include <QDir>
#include <QMap>

#include <gtest/gtest.h>

namespace {

class MapSettingsStore : public SettingsStore
{
public:
    QString read(const QString &section, const QString &key,
                 const QString &defaultValue = QString()) const override
    {
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    void write(const QString &section, const QString &key, const QString &value) override
    {
        values.insert(section + QLatin1Char('/') + key, value);
    }

    QMap<QString, QString> values;
};

// Sets XDG_DATA_HOME for one test and puts back what was there.
class DataHome
{
public:
    explicit DataHome(const QByteArray *value)
        : m_wasSet(qEnvironmentVariableIsSet("XDG_DATA_HOME")), m_old(qgetenv("XDG_DATA_HOME"))
    {
        if (value)
            qputenv("XDG_DATA_HOME", *value);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    ~DataHome()
    {
        if (m_wasSet)
            qputenv("XDG_DATA_HOME", m_old);
        else
            qunsetenv("XDG_DATA_HOME");
    }

private:
    bool m_wasSet;
    QByteArray m_old;
};

TEST(DefaultOutboxFolder, PrefersTheSetting)
{
    const QByteArray dataHome = "/data/home";
    const DataHome environment(&dataHome);
    MapSettingsStore store;
    store.write(QStringLiteral("MailClient"), QStringLiteral("Outbox"),
                QStringLiteral("/mail/out"));
    EXPECT_EQ(defaultOutboxFolder(store), QStringLiteral("/mail/out"));
}

TEST(DefaultOutboxFolder, UsesTheDataHomeWhenNothingIsSet)
{
    const QByteArray dataHome = "/data/home";
    const DataHome environment(&dataHome);
    MapSettingsStore store;
    EXPECT_EQ(defaultOutboxFolder(store), QStringLiteral("/data/home/Ferrymail/Outbox"));
    store.write(QStringLiteral("MailClient"), QStringLiteral("Outbox"), QString());
    EXPECT_EQ(defaultOutboxFolder(store), QStringLiteral("/data/home/Ferrymail/Outbox"))
        << "an empty setting counts as none";
}

TEST(DefaultOutboxFolder, FallsBackToTheHomeFolder)
{
    const QString expected = QDir::homePath() + QStringLiteral("/.local/share/Ferrymail/Outbox");
    MapSettingsStore store;
    {
        const DataHome unset(nullptr);
        EXPECT_EQ(defaultOutboxFolder(store), expected);
    }
    const QByteArray empty;
    const DataHome environment(&empty);
    EXPECT_EQ(defaultOutboxFolder(store), expected);
}

} // namespace
