#include "mailbridge/wiring/TokenSources.h"

#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/oauth/CommandTokenSource.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"

std::shared_ptr<AccessTokenSource> createAccessTokenSource(const MailAccount &account,
                                                           std::shared_ptr<PasswordStore> keyring)
{
    if (!account.tokenCommand.isEmpty())
        return std::make_shared<CommandTokenSource>(account.tokenCommand);
    return std::make_shared<RefreshingTokenSource>(oauthEndpoints(account), std::move(keyring),
                                                   oauthTokenKey(account));
}

std::unique_ptr<Outbox> createOAuthImapOutbox(ImapEndpoint endpoint,
                                              std::shared_ptr<AccessTokenSource> source)
{
    return std::make_unique<ImapOutbox>(std::move(endpoint), std::move(source));
}
