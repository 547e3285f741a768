#pragma once

#include "mailbridge/compose/Attachment.h"

#include <QHash>
#include <QString>

// Attachments inspected to size messages, kept for the items of the same Send to take, so
// that each file is opened once to size it and once to read it. One thread at a time.
class AttachmentInspections
{
public:
    // Inspects the file (inspectAttachment) and keeps what it found.
    Attachment inspect(const QString &path);
    // What was kept for the path, while the file is still the one inspected (looked up without
    // opening it); otherwise a new inspection. Either way nothing stays kept for the path.
    Attachment take(const QString &path);
    void clear() { m_kept.clear(); }

private:
    QHash<QString, Attachment> m_kept;
};
