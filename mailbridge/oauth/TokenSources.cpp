#include "mailbridge/oauth/TokenSources.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/oauth/CommandTokenSource.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"

#include <type_traits>

namespace {

// The outbox's token login is built in its own place; until a build has it, an OAuth account
// says so instead of failing to build.
template <typename Outbox>
std::unique_ptr<MailApplication> makeOutbox(ImapEndpoint endpoint,
                                            std::shared_ptr<AccessTokenSource> source)
{
    if constexpr (std::is_constructible_v<Outbox, ImapEndpoint, std::shared_ptr<AccessTokenSource>>)
        return std::make_unique<Outbox>(std::move(endpoint), std::move(source));
    else
        throw Failure(QStringLiteral("This build of Ferrymail cannot log in to %1 with an "
                                     "OAuth 2.0 token.")
                          .arg(describeAccount(endpoint)));
}

} // namespace

std::shared_ptr<AccessTokenSource> createAccessTokenSource(const MailAccount &account,
                                                           std::shared_ptr<PasswordStore> keyring)
{
    if (!account.tokenCommand.isEmpty())
        return std::make_shared<CommandTokenSource>(account.tokenCommand);
    return std::make_shared<RefreshingTokenSource>(oauthEndpoints(account), std::move(keyring),
                                                   oauthTokenKey(account));
}

std::unique_ptr<MailApplication> createOAuthImapOutbox(ImapEndpoint endpoint,
                                                       std::shared_ptr<AccessTokenSource> source)
{
    return makeOutbox<ImapOutbox>(std::move(endpoint), std::move(source));
}
