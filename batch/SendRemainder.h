#pragma once

#include "batch/BatchPlan.h"

#include <QStringList>

struct SendOutcome;

// What a Send that ended early left behind, message by message of its plan, so that a Send
// of the rest alone can follow. The rest starts at a message of the plan, so planning it anew
// with the same size gives the rest of the same split.
struct SendRemainder
{
    int messagesPlanned = 0;
    int messagesFiled = 0;
    // Names as the list holds them, in list order.
    QStringList filedFiles;
    // Files of messages whose outbox lost its answer: they may have gone, so they are neither
    // sent again unasked nor counted as filed.
    QStringList uncertainFiles;
    QStringList uncertainSubjects;
    QStringList unsentFiles;
};

// The outbox files a plan's messages in order: the first filedSubjects ones went, the
// perhapsFiledSubjects ones follow, the rest did not go.
SendRemainder remainderOf(const BatchPlan &plan, const SendOutcome &outcome);
