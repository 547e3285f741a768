#include "batch/SendRemainder.h"

#include "batch/BatchSender.h"

#include <algorithm>

SendRemainder remainderOf(const BatchPlan &plan, const SendOutcome &outcome)
{
    SendRemainder rest;
    const std::size_t planned = plan.messages.size();
    rest.messagesPlanned = int(planned);
    const std::size_t filed = std::min(std::size_t(outcome.filedSubjects.size()), planned);
    const std::size_t uncertain =
        std::min(std::size_t(outcome.perhapsFiledSubjects.size()), planned - filed);
    rest.messagesFiled = int(filed);
    for (std::size_t n = 0; n < planned; ++n) {
        const PlannedMessage &message = plan.messages[n];
        QStringList &into = n < filed               ? rest.filedFiles
                            : n < filed + uncertain ? rest.uncertainFiles
                                                    : rest.unsentFiles;
        for (const PlannedFile &file : message.files)
            into << file.name;
        if (n >= filed && n < filed + uncertain)
            rest.uncertainSubjects << message.subject;
    }
    return rest;
}
