#pragma once

#include "filelist/FileLine.h"
#include "filelist/Sentinels.h"

#include <QString>
#include <vector>

// The inputs of one Send, as the window holds them when the button is clicked.
struct SendRequest
{
    QString folder; // the folder that filled the list
    std::vector<FileLine> entries;
    QString sizeText; // kilobytes of 1024 bytes, as typed
    QString recipient;
    QString subjectPrefix;
    QString sender;
    // Whether the lines are the folder's files or a sentinel line.
    ListState listState = ListState::Files;
    // Whether each message opens with what it holds of the batch and ends with its files'
    // checksums ([Settings] Manifest).
    bool manifest = true;
};
