#include "mailbridge/maildir/DefaultOutboxFolder.h"

#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QDir>

namespace {

// The folder with XDG_DATA_HOME set to dataHome (unset for nullptr) and the outbox setting
// (none when null); puts the variable back as it was.
QString folderWith(const char *dataHome, const QString &setting)
{
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    const auto set = [](bool present, const QByteArray &value) {
        if (present)
            qputenv("XDG_DATA_HOME", value);
        else
            qunsetenv("XDG_DATA_HOME");
    };
    set(dataHome, dataHome);
    MemorySettingsStore store;
    if (!setting.isNull())
        store.write("MailClient", "Outbox", setting);
    const QString folder = defaultOutboxFolder(store);
    set(wasSet, old);
    return folder;
}

TEST(DefaultOutboxFolder, PrefersTheSettingThenTheDataHomeThenTheHomeFolder)
{
    EXPECT_EQ(folderWith("/data/home", "/mail/out"), "/mail/out");
    EXPECT_EQ(folderWith("/data/home", QString()), "/data/home/Ferrymail/Outbox");
    EXPECT_EQ(folderWith("/data/home", ""), "/data/home/Ferrymail/Outbox")
        << "an empty setting counts as none";
    const QString home = QDir::homePath() + "/.local/share/Ferrymail/Outbox";
    EXPECT_EQ(folderWith(nullptr, QString()), home);
    EXPECT_EQ(folderWith("", QString()), home);
}

TEST(DefaultOutboxFolder, ATildeSettingMeansTheHomeFolder)
{
    const QString home = QDir::homePath();
    EXPECT_EQ(folderWith("/data", "~/Mail/Outbox"), home + "/Mail/Outbox");
    EXPECT_EQ(folderWith("/data", "~"), home);
    EXPECT_EQ(folderWith("/data", "~/"), home + "/");
    EXPECT_EQ(folderWith("/data", "/srv/~/Outbox"), "/srv/~/Outbox") << "only a leading ~ counts";
}

TEST(DefaultOutboxFolder, ARelativeSettingFailsNamingSettingValueAndFile)
{
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Ferrymail/Ferrymail.conf";
    for (const QString relative : {"Mail/Outbox", "./Outbox", "~someone/Outbox", "~Outbox"}) {
        const QString failure = failureOf([&] { folderWith("/data", relative); });
        SCOPED_TRACE(relative.toStdString());
        EXPECT_TRUE(failure.contains("setting Outbox")) << failure;
        EXPECT_TRUE(failure.contains('"' + relative + '"')) << failure;
        EXPECT_TRUE(failure.contains(file)) << failure;
    }
}

} // namespace
