#pragma once

#include <QDateTime>
#include <QString>

// What makes one message unique and would differ between two compositions of the same
// content: fixed once, so that measuring a message and writing it give the same bytes.
struct MessageStamp
{
    QDateTime date;    // with the local offset from UTC it was made with
    QString messageId; // without angle brackets
    QString boundary;  // of the multipart body
};

// Now, a new Message-ID on this host, a new random boundary.
MessageStamp newMessageStamp();
