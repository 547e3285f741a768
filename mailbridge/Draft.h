#pragma once

#include "mailbridge/BatchManifest.h"

#include <QString>
#include <QStringList>

#include <optional>

// One message as the Send hands it to an outbox: who it is from and to, its subject, and the
// files it carries. The outbox composes and files it; sizing asks about the same shape.
struct Draft
{
    QString to;
    QString from;
    QString subject;
    QStringList attachmentPaths; // in the order they go in
    // What the message says about its batch, in a text part before the files and a list of
    // their checksums after them; none: the message carries its files alone.
    std::optional<BatchManifest> manifest = std::nullopt;
};
