#include "batch/BatchSender.h"

#include "batch/AttachmentPath.h"
#include "batch/SendValidation.h"
#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "filelist/FileSystem.h"
#include "mailbridge/MailApplication.h"

#include <cstdint>
#include <limits>
#include <memory>

namespace {

std::unique_ptr<MailItem> openMessage(const SendRequest &request, MailApplication &mail)
{
    auto objMail = mail.CreateItem(MailApplication::olMailItem);
    objMail->setSubject(request.subjectPrefix);
    objMail->setTo(request.recipient);
    objMail->setFrom(request.sender);
    objMail->setDeleteAfterSubmit(true);
    return objMail;
}

void appendToSubject(MailItem &objMail, const QString &prefix, const QString &name)
{
    if (objMail.Subject() != prefix)
        objMail.setSubject(objMail.Subject() + QLatin1Char(','));
    objMail.setSubject(objMail.Subject() + name);
}

} // namespace

void sendBatch(const SendRequest &request, MailApplication &mail, const FileSystem &files)
{
    if (const auto refusal = refusalFor(request))
        throw Refusal(*refusal);
    // Converted before anything is created, so a bad size text sends nothing.
    const double limit = sizeLimitBytes(request.sizeText);

    std::unique_ptr<MailItem> objMail;
    std::int64_t lngTotal = 0;
    for (const FileLine &entry : request.entries) {
        if (!entry.ticked)
            continue;
        if (!objMail)
            objMail = openMessage(request, mail);

        appendToSubject(*objMail, request.subjectPrefix, entry.name);
        const QString path = attachmentPath(request.folder, entry.name);
        objMail->addAttachment(path);
        lngTotal += files.FileSize(path);
        if (lngTotal > std::numeric_limits<std::int32_t>::max())
            throw Failure(QStringLiteral("The files of one message add up to more than "
                                         "2,147,483,647 bytes with %1.")
                              .arg(path));

        if (double(lngTotal) >= limit) {
            objMail->Send();
            objMail.reset();
            lngTotal = 0;
        }
    }
    if (objMail)
        objMail->Send();
}
