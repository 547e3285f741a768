#pragma once

#include "common/FileDescriptor.h"

#include <QString>

// An open file of mode 0600 in $XDG_RUNTIME_DIR (else /tmp) whose name is removed at once, so
// nothing of it outlives the descriptor, however the program ends. path is for messages only.
struct PrivateTempFile
{
    FileDescriptor fd;
    QString path;
};

// Throws Failure naming the folder and the reason.
PrivateTempFile createPrivateTempFile();
