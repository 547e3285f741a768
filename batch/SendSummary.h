#pragma once

#include <QString>
#include <QStringList>

struct SendRemainder;

// The line a person reads when a Send has ended, so that nobody has to guess whether to send
// again. A Send that went whole is worded by its outbox (Outbox::deliveredText).

// "Stopped: 1 of 3 messages filed. Not sent: b.bin, c.bin"; a long list is cut after a few
// names and says how many more there are.
QString sendStoppedText(int filed, int planned, const QStringList &unsentFiles);

// After a Send that ended early, whose messages that went have had their files unticked:
// "Sent 2 of 5 messages. The files not sent are still ticked: press Send to send them." For an
// outbox that files (not sent) "Filed 2 of 5 messages. The files not filed …"; after a cancel
// (cancelled) it opens as sendStoppedText does. Messages that may have gone are named, for a
// person to check before sending their files again.
QString sendRemainderText(const SendRemainder &rest, bool sent, bool cancelled);

// The summary as the main window keeps it under the list: "14:02 — 4 messages in …".
QString outcomeLine(const QString &timeOfDay, const QString &summary);

// The text with its path (from the first " /" or " ~/" to the end) made one unbreakable
// word: a wrapping label then moves the path to a line of its own instead of splitting it.
QString keepPathWhole(const QString &text);
