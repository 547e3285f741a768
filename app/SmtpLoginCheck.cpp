#include "app/SmtpLoginCheck.h"

#include "common/CancelToken.h"
#include "mailbridge/AccessTokenSource.h"

std::optional<std::uint64_t> checkSmtpLogin(const SmtpEndpoint &endpoint,
                                            std::optional<QString> password,
                                            std::shared_ptr<AccessTokenSource> tokens,
                                            const CancelToken &cancel)
{
    // Asking for the limit logs in first, and its command (NOOP) carries no message.
    std::unique_ptr<SmtpOutbox> outbox =
        tokens ? std::make_unique<SmtpOutbox>(endpoint, std::move(tokens))
               : std::make_unique<SmtpOutbox>(endpoint, std::move(password));
    outbox->setCancelCheck([&cancel] { return cancel.cancelled(); });
    return outbox->messageSizeLimit();
}
