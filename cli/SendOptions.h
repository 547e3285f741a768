#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What `ferrymail send` was asked to do.
struct SendOptions
{
    QString folder;
    QStringList names; // as given, in any order
    bool all = false;
    QString to;
    QString from;
    QString subject;
    std::optional<QString> size; // the remembered size when absent
    QString outbox;              // a Maildir for this run; the configured outbox when empty
    bool dryRun = false;
    bool json = false;
    // Send what the last unfinished Send left, with its options: none of the above is given.
    bool resume = false;
};

struct ParsedArguments
{
    enum class Action
    {
        Send,
        Help,
        Version,
        UsageError,
    };
    Action action = Action::UsageError;
    SendOptions options;
    QString error; // for UsageError
};

// Reads the arguments that follow "send"; -h is --help. Names are decoded from the bytes the shell
// gave, so a file name that is not UTF-8 still matches its line.
ParsedArguments parseSendArguments(const QList<QByteArray> &arguments);

QString usageText(); // of ferrymail as a whole
QString sendUsageText();
QString versionText();
