#include "settings/RememberedEntries.h"
#include "settings/QtSettingsStore.h"

#include "support/MemorySettingsStore.h"

#include <QFile>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

using namespace RememberedEntries;

const QStringList loaded = {"L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"};

QStringList saved(const QString &current, int chosen, const QStringList &entries = loaded)
{
    MemorySettingsStore store;
    saveList(store, "To", entries, current, chosen);
    EXPECT_EQ(store.writes.size(), 10);
    return loadList(store, "To");
}

TEST(RememberedEntries, FirstRunGivesDefaults)
{
    MemorySettingsStore empty;
    EXPECT_EQ(loadMaxSize(empty), "750");
    EXPECT_EQ(loadList(empty, "From"), QStringList(10, QString()));
}

TEST(RememberedEntries, MostRecentlyUsedFirst)
{
    // Untouched: entry 0 chosen at load, the store is rewritten unchanged.
    EXPECT_EQ(saved("L0", 0), loaded);
    // A chosen entry moves to the front, the ones before it shift down one.
    EXPECT_EQ(saved("L3", 3),
              QStringList({"L3", "L0", "L1", "L2", "L4", "L5", "L6", "L7", "L8", "L9"}));
    EXPECT_EQ(saved("L9", 9),
              QStringList({"L9", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8"}));
    // Typed text goes first and the tenth is dropped, even when it repeats an entry.
    const QStringList typedResult = {"new", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8"};
    EXPECT_EQ(saved("new", -1), typedResult);
    EXPECT_EQ(saved("L2", -1)[0], "L2");
    EXPECT_EQ(saved("L2", -1)[3], "L2");
    EXPECT_EQ(saved("", -1)[0], "");
    EXPECT_EQ(saved("", -1)[1], "L0");
}

TEST(RememberedEntries, EmptyEntriesTakePartLikeAnyOther)
{
    const QStringList sparse = {"a", "b", "c", "", "", "", "", "", "", ""};
    EXPECT_EQ(saved("b", 1, sparse), QStringList({"b", "a", "c", "", "", "", "", "", "", ""}));
    EXPECT_EQ(saved("z", -1, sparse), QStringList({"z", "a", "b", "c", "", "", "", "", "", ""}));
}

TEST(RememberedEntries, NativeStoreKeepsTextsAcrossInstances)
{
    {
        QtSettingsStore store;
        saveMaxSize(store, "abc");
        saveList(store, "Path", loaded, "/home/me", -1);
    }
    QtSettingsStore again;
    EXPECT_EQ(loadMaxSize(again), "abc");
    EXPECT_EQ(loadList(again, "Path")[0], "/home/me");
    EXPECT_EQ(loadList(again, "Path")[9], "L8");
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         "/Ferrymail/Ferrymail.conf";
    EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
}

} // namespace
