#pragma once

#include "mailbridge/compose/Attachment.h"

#include <QString>

#include <vector>

// What one message says, as the mail item holds it until it is sent.
struct MessageContent
{
    QString to;
    QString from;
    QString subject;
    std::vector<Attachment> attachments; // in the order added
};
