#pragma once

#include "cli/SendOptions.h"

#include <QTextStream>

#include <cstdio>
#include <functional>
#include <memory>

class FileSystem;
class Outbox;
class ResumeStateFile;
class SettingsStore;
struct Interruption;

// Where `ferrymail send` writes: subjects and the dry run on out, refusals, failures and
// progress on err (progress only when err is a terminal).
struct CommandOutput
{
    QTextStream &out;
    QTextStream &err;
    std::FILE *progressTerminal = nullptr;
};

// The outbox the options name; for a dry run one that only sizes messages and creates nothing.
using OutboxMaker = std::function<std::unique_ptr<Outbox>(const SendOptions &options)>;

namespace ExitCode {
inline constexpr int sent = 0;
inline constexpr int failed = 1;
inline constexpr int refused = 2;
} // namespace ExitCode

// The window's Send, from the command line: the same list order, checks, split, outbox and
// cancel. Reads the remembered size (kept in settingsFile, as the dry run names it) but changes
// no remembered entry. Prints each filed message's subject, then one line saying how many went
// where. Keeps a record of the Send in state while it runs, for --resume, which sends what
// it left with its options. Returns the exit code.
int runSendCommand(const SendOptions &options, const SettingsStore &settings,
                   const QString &settingsFile, const FileSystem &files,
                   const OutboxMaker &makeOutbox, Interruption &interruption,
                   ResumeStateFile &state, CommandOutput output);
