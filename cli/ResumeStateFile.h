#pragma once

#include "cli/ResumeState.h"
#include "common/FileDescriptor.h"

#include <QString>

#include <optional>

// Where the record of this user's unfinished Send is kept, one at a time, and the lock that
// lets one Send at a time keep it.
class ResumeStateFile
{
public:
    explicit ResumeStateFile(QString folder);

    // $XDG_STATE_HOME/Ferrymail, else ~/.local/state/Ferrymail.
    static QString defaultFolder();

    QString path() const;

    // Takes the lock without waiting; false while another Send holds it. The lock goes with
    // this object or the process. Throws Failure when the folder cannot be made.
    bool lock();

    // The record, none when there is none; throws Refusal when it is damaged or too large.
    std::optional<SendRecord> read() const;
    // Replaces the record whole, or not at all, and durably: a crash leaves the old or the new.
    void write(const SendRecord &record);
    void remove();

private:
    QString m_folder;
    FileDescriptor m_lock;
};
