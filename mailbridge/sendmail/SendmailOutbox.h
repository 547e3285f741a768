#pragma once

#include "mailbridge/compose/ComposingOutbox.h"

#include <QString>

#include <chrono>

// This machine's mail transfer program as the outbox: each message is piped on standard input
// to the command (run with /bin/sh -c, in a process group of its own), whose exit status says
// whether it took the message.
class SendmailOutbox : public ComposingOutbox
{
public:
    // Throws Failure naming SendmailCommand when the command is empty or holds CR, LF or NUL.
    // patience: how long the command may take once it has the whole message.
    explicit SendmailOutbox(const QString &command,
                            std::chrono::milliseconds patience = std::chrono::minutes(5));

    // Throws Failure with the command's exit status and error output when it refuses the
    // message, SendCancelled when stopped before the command had all of it, PerhapsFiled when
    // the command had all of it and then was stopped, outlived its patience or died of a
    // signal: it may have passed the message on.
    void file(const Draft &draft, TransferMonitor &monitor) override;
    QString destination() const override;
    bool sendsOn() const override { return true; }

    static QString defaultCommand();

private:
    QString m_command;
    std::chrono::milliseconds m_patience;
};
