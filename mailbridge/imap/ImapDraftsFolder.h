#pragma once

#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapExchange.h"
#include "mailbridge/review/DraftsFolder.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class AccessTokenSource;
class ImapSession;

// The drafts folder of an IMAP account (the one ImapOutbox files into), for sending drafts as
// the person left them. One connection, made at the first call, serves every call; the Sent
// folder is looked up on a second one, once, when a copy is first kept. Every draft is named
// by its UID, valid while the folder's UIDVALIDITY is the one list() saw.
class ImapDraftsFolder : public DraftsFolder
{
public:
    // More drafts than this are not listed: list() says so instead.
    static constexpr int maxDrafts = 10000;
    // Drafts described per FETCH command, so that each answer stays small.
    static constexpr int listedPerCommand = 500;
    // A draft is fetched in pieces this large, well inside the reader's bound on a literal.
    static constexpr std::uint64_t fetchPiece = 768 * 1024;

    ImapDraftsFolder(ImapEndpoint endpoint, std::optional<QString> password,
                     ImapLimits limits = {});
    ImapDraftsFolder(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens,
                     ImapLimits limits = {});
    ~ImapDraftsFolder() override;
    ImapDraftsFolder(const ImapDraftsFolder &) = delete;
    ImapDraftsFolder &operator=(const ImapDraftsFolder &) = delete;

    std::vector<FolderDraft> list() override;
    void fetch(const FolderDraft &draft, const Sink &sink) override;
    // Asks with an echo of the flags (+FLAGS, not .SILENT): false too when the server took
    // the command and kept no keyword.
    bool mark(const FolderDraft &draft, const QByteArray &keyword) override;
    void unmark(const FolderDraft &draft, const QByteArray &keyword) override;
    DraftRemoval remove(const FolderDraft &draft, bool keepCopy) override;

    QString destination() const override;
    QString sentDestination() const override;
    void setCancelCheck(std::function<bool()> cancelled) override;

private:
    ImapSession &session();
    QByteArray sentFolder();
    // Selected, on a connection made anew when the server dropped the last one; Failure when
    // the folder is no longer the one listed.
    void selectListed(const QString &doing);
    bool keepsKeyword(const QByteArray &keyword);
    void checkCancel() const;
    // One piece of the draft: its bytes, checked against what was asked.
    QByteArray fetchBytes(const FolderDraft &draft, std::uint64_t offset, std::uint64_t length,
                          const QString &doing);

    ImapEndpoint m_endpoint;
    std::optional<QString> m_password;
    std::shared_ptr<AccessTokenSource> m_tokens;
    ImapLimits m_limits;
    std::function<bool()> m_cancelled;
    std::unique_ptr<ImapSession> m_session;
    QByteArray m_sentFolder; // encoded, once found
    std::optional<std::uint64_t> m_uidValidity;
};
