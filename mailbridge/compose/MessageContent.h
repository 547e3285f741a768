#pragma once

#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageStamp.h"

#include <QString>

#include <vector>

// What one message says, as the mail item holds it until it is sent.
struct MessageContent
{
    QString to;
    QString from;
    QString subject;
    std::vector<Attachment> attachments;    // in the order added
    MessageStamp stamp = newMessageStamp(); // fixed when the item is made
};
