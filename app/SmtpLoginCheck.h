#pragma once

#include "mailbridge/smtp/SmtpOutbox.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class AccessTokenSource;
class CancelToken;

// Connects to the outgoing server and logs in as a Send would, with the password or the
// sign-in's tokens, and sends nothing. The SIZE the server announces, if any. Throws Failure
// saying what went wrong, SendCancelled within a fraction of a second of cancel. Blocks: for
// a worker.
std::optional<std::uint64_t> checkSmtpLogin(const SmtpEndpoint &endpoint,
                                            std::optional<QString> password,
                                            std::shared_ptr<AccessTokenSource> tokens,
                                            const CancelToken &cancel);
