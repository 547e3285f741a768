#include "settings/CollectingSettingsStore.h"
#include "settings/QtSettingsStore.h"
#include "settings/RememberedEntries.h"

#include "support/MemorySettingsStore.h"
#include "support/PrivateConfigHome.h"
#include "support/TestTools.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace {

using namespace RememberedEntries;

const QStringList entries = {"e0", "e1", "e2", "e3", "e4", "e5", "e6", "e7", "e8", "e9"};
const QStringList words = {"From", "To", "Path"};

// What the window saves when it closes: 31 keys.
void saveEverything(SettingsStore &store)
{
    CollectingSettingsStore collecting(store);
    saveMaxSize(collecting, "1500");
    for (const QString &word : words)
        saveList(collecting, word, entries, word + "-typed", -1);
    collecting.throwIfAnyFailed();
}

TEST(QtSettingsStore, ABrokenFileReadsAsDefaultsAndTakesEveryWrite)
{
    for (const quint32 seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        QTemporaryDir config;
        const PrivateConfigHome home(config.path());
        QDir().mkpath(config.filePath("Ferrymail"));
        const QByteArray garbage = randomBytes(4096, seed);
        writeFile(home.settingsFile(), garbage);
        // Checked on a copy: QSettings shares what it read of one file between its objects.
        QSettings probe(writeFile(config.filePath("probe.conf"), garbage), QSettings::IniFormat);
        probe.allKeys();
        ASSERT_EQ(probe.status(), QSettings::FormatError);

        QtSettingsStore store;
        EXPECT_EQ(loadMaxSize(store), "750");
        for (const QString &word : words)
            EXPECT_EQ(loadList(store, word), QStringList(count, QString())) << word;
        EXPECT_EQ(failureOf([&] { saveEverything(store); }), QString());

        const QtSettingsStore again;
        EXPECT_EQ(loadMaxSize(again), "1500");
        for (const QString &word : words)
            EXPECT_EQ(loadList(again, word), QStringList{word + "-typed"} + entries.mid(0, 9));
    }
}

TEST(QtSettingsStore, AFileThatCannotBeWrittenFailsNamingKeyAndFile)
{
    QTemporaryDir config;
    const PrivateConfigHome home(config.path());
    QDir().mkpath(home.settingsFile()); // a folder where the file belongs
    QtSettingsStore store;
    EXPECT_EQ(loadMaxSize(store), "750");
    for (const char *key : {"MaxSize", "To0"}) {
        const QString failure = failureOf([&] { store.write("Settings", key, "1"); });
        EXPECT_TRUE(failure.contains(key) && failure.contains(home.settingsFile())) << failure;
    }
    EXPECT_EQ(QtSettingsStore::filePath(), home.settingsFile());
}

TEST(QtSettingsStore, AValueNoTextCanBeMadeOfReadsAsTheDefault)
{
    QTemporaryDir config;
    const PrivateConfigHome home(config.path());
    QDir().mkpath(config.filePath("Ferrymail"));
    writeFile(home.settingsFile(), "[Settings]\nMaxSize=@Rect(1 2 3 4)\n"
                                   "To0=Doe, Jane <jane@x.org>\nFrom0=\"quoted, kept\"\n");
    const QtSettingsStore store;
    EXPECT_EQ(loadMaxSize(store), "750");
    EXPECT_EQ(store.read("Settings", "To0"), "Doe, Jane <jane@x.org>");
    EXPECT_EQ(store.read("Settings", "From0"), "quoted, kept");
}

TEST(CollectingSettingsStore, AFailingKeyLosesNoOtherAndAllAreReportedTogether)
{
    MemorySettingsStore store;
    store.failingWrites = {"Settings/MaxSize", "Settings/To3", "Settings/Path9"};
    const QString failure = failureOf([&] { saveEverything(store); });
    EXPECT_EQ(store.writes.size(), 31);
    EXPECT_EQ(store.values.size(), 28);
    EXPECT_EQ(failure, "Could not save the setting MaxSize: disk full\n"
                       "Not saved either: To3, Path9.\n"
                       "The other 28 settings were saved.");

    MemorySettingsStore healthy;
    EXPECT_EQ(failureOf([&] { saveEverything(healthy); }), QString());
    EXPECT_EQ(healthy.values.size(), 31);
}

} // namespace
