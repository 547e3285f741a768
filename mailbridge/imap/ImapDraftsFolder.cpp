#include "mailbridge/imap/ImapDraftsFolder.h"

#include "common/Failure.h"
#include "common/SendCancelled.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/imap/FetchedDraft.h"
#include "mailbridge/imap/ImapFailures.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

#include <algorithm>
#include <map>

namespace {

// "1:4,7,9:12": the UIDs given, in ranges.
QByteArray uidSet(const QList<std::uint64_t> &uids)
{
    QByteArray set;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype last = i;
        while (last + 1 < uids.size() && uids[last + 1] == uids[last] + 1)
            ++last;
        if (!set.isEmpty())
            set += ',';
        set += QByteArray::number(qulonglong(uids[i]));
        if (last > i)
            set += ':' + QByteArray::number(qulonglong(uids[last]));
        i = last + 1;
    }
    return set;
}

// A keyword goes into a command as an atom; anything else would change the command.
bool isKeyword(const QByteArray &keyword)
{
    if (keyword.isEmpty() || keyword.size() > 100)
        return false;
    return std::all_of(keyword.begin(), keyword.end(), [](char c) {
        return c > ' ' && c < 0x7f && !QByteArrayView("(){%*\"\\]").contains(c);
    });
}

QString named(const FolderDraft &draft)
{
    if (draft.subject.isEmpty())
        return QStringLiteral("the draft without a subject (UID %1)").arg(draft.uid);
    return QStringLiteral("the draft \"%1\"").arg(draft.subject);
}

// Read whole, yet not what a server says of a message: the connection stays, nothing changed.
QString notADraft(const ImapEndpoint &endpoint, const QString &doing, const ImapReadError &error)
{
    return QStringLiteral("Cannot %1: %2 port %3 sent %4, which no mail server sends for a "
                          "message. Nothing was changed in the folder.")
        .arg(doing, endpoint.host)
        .arg(endpoint.port)
        .arg(QString::fromStdString(error.what()));
}

QByteArray uidOf(const FolderDraft &draft)
{
    return QByteArray::number(qulonglong(draft.uid));
}

} // namespace

ImapDraftsFolder::ImapDraftsFolder(ImapEndpoint endpoint, std::optional<QString> password,
                                   ImapLimits limits)
    : m_endpoint(std::move(endpoint)), m_password(std::move(password)), m_limits(limits)
{
    m_endpoint.role = FolderRole::Drafts;
}

ImapDraftsFolder::ImapDraftsFolder(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens,
                                   ImapLimits limits)
    : m_endpoint(std::move(endpoint)), m_tokens(std::move(tokens)), m_limits(limits)
{
    m_endpoint.role = FolderRole::Drafts;
}

ImapDraftsFolder::~ImapDraftsFolder() = default;

ImapSession &ImapDraftsFolder::session()
{
    if (!m_session) {
        if (!m_password && !m_tokens)
            throw Failure(QStringLiteral("There is no password for %1: none is in the keyring "
                                         "and no PasswordCommand gave one. Keep the password "
                                         "in the keyring (the Mail account window does that).")
                              .arg(describeAccount(m_endpoint)));
        m_session = std::make_unique<ImapSession>(
            m_endpoint, ImapCredentials{m_password.value_or(QString()), m_tokens}, m_limits);
        m_session->setCancelCheck(m_cancelled);
    }
    return *m_session;
}

QByteArray ImapDraftsFolder::sentFolder()
{
    if (m_sentFolder.isEmpty()) {
        // Found, or made, as the copies of sent messages find it; its name is the server's,
        // good on every connection to the account.
        ImapSession sent(sentFolderOf(m_endpoint),
                         ImapCredentials{m_password.value_or(QString()), m_tokens}, m_limits);
        sent.setCancelCheck(m_cancelled);
        m_sentFolder = sent.folder();
    }
    return m_sentFolder;
}

void ImapDraftsFolder::setCancelCheck(std::function<bool()> cancelled)
{
    m_cancelled = std::move(cancelled);
    if (m_tokens)
        m_tokens->setCancelCheck(m_cancelled);
    if (m_session)
        m_session->setCancelCheck(m_cancelled);
}

void ImapDraftsFolder::checkCancel() const
{
    if (m_cancelled && m_cancelled())
        throw SendCancelled();
}

QString ImapDraftsFolder::destination() const
{
    return draftsDestination(m_endpoint);
}

QString ImapDraftsFolder::sentDestination() const
{
    if (m_sentFolder.isEmpty())
        return QStringLiteral("the Sent folder of %1").arg(describeAccount(m_endpoint));
    return QStringLiteral("the folder \"%1\" of %2")
        .arg(decodeMailboxName(m_sentFolder), describeAccount(m_endpoint));
}

std::vector<FolderDraft> ImapDraftsFolder::list()
{
    const QString doing = QStringLiteral("list the drafts in %1").arg(destination());
    checkCancel();
    ImapSession &imap = session();
    m_uidValidity = imap.select().uidValidity;
    QList<std::uint64_t> uids =
        searchResults(imap.command(QByteArray("UID SEARCH UNDELETED"), {"SEARCH"}, doing).untagged);
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    if (uids.size() > maxDrafts)
        throw Failure(QStringLiteral("Cannot %1: it holds %2 messages, and at most %3 are read "
                                     "at a time. Move the messages that are no drafts to send "
                                     "into another folder, then try again.")
                          .arg(doing)
                          .arg(uids.size())
                          .arg(maxDrafts));

    std::vector<FolderDraft> drafts;
    for (qsizetype first = 0; first < uids.size(); first += listedPerCommand) {
        checkCancel();
        const QList<std::uint64_t> asked = uids.mid(first, listedPerCommand);
        const QList<ImapResponse> said =
            imap.command("UID FETCH " + uidSet(asked) +
                             " (UID RFC822.SIZE FLAGS ENVELOPE BODYSTRUCTURE)",
                         {"FETCH"}, doing)
                .untagged;
        try {
            // A flag change may come unasked beside the answer: the items of one UID are
            // gathered before they are read.
            std::map<std::uint64_t, QHash<QByteArray, ImapToken>> items;
            for (const ImapResponse &response : said) {
                const auto fetched = fetchItems(response);
                if (!fetched || !fetched->contains("UID"))
                    continue;
                const std::uint64_t uid = fetchedNumber(fetched->value("UID"), "UID");
                if (!std::binary_search(asked.begin(), asked.end(), uid))
                    continue;
                items[uid].insert(*fetched);
            }
            // A UID without data, or with only a change of its flags, was expunged in
            // between: gone from the folder, not listed.
            for (const auto &[uid, found] : items) {
                if (!found.contains("RFC822.SIZE") && !found.contains("ENVELOPE") &&
                    !found.contains("BODYSTRUCTURE"))
                    continue;
                FolderDraft draft = fetchedDraft(found);
                if (!draft.flags.contains("\\Deleted"))
                    drafts.push_back(std::move(draft));
            }
        } catch (const ImapReadError &error) {
            throw Failure(notADraft(m_endpoint, doing, error));
        }
    }
    return drafts;
}

void ImapDraftsFolder::selectListed(const QString &doing)
{
    ImapSession &imap = session();
    // Selected anew each time: a server may keep a folder selected that was replaced since,
    // until the next command about its messages. One that drops the connection for it is
    // asked again on a new one.
    std::uint64_t validity = 0;
    try {
        validity = imap.select(true).uidValidity;
    } catch (const ImapBroken &) {
        validity = imap.select().uidValidity;
    }
    if (!m_uidValidity) {
        m_uidValidity = validity;
        return;
    }
    if (validity != *m_uidValidity)
        throw Failure(QStringLiteral("Cannot %1: the folder was replaced since its drafts were "
                                     "listed (its UIDVALIDITY changed), so its messages may no "
                                     "longer be the ones listed. Nothing was done to the draft; "
                                     "list the drafts again.")
                          .arg(doing));
}

bool ImapDraftsFolder::keepsKeyword(const QByteArray &keyword)
{
    const std::optional<QList<QByteArray>> &kept = session().select().permanentFlags;
    if (!kept)
        return true;
    return kept->contains("\\*") || std::any_of(kept->begin(), kept->end(), [&](const auto &flag) {
               return flag.compare(keyword, Qt::CaseInsensitive) == 0;
           });
}

QByteArray ImapDraftsFolder::fetchBytes(const FolderDraft &draft, std::uint64_t offset,
                                        std::uint64_t length, const QString &doing)
{
    const QByteArray size = offset == 0 ? "RFC822.SIZE " : "";
    const QList<ImapResponse> said =
        session()
            .command("UID FETCH " + uidOf(draft) + " (" + size + "BODY.PEEK[]<" +
                         QByteArray::number(qulonglong(offset)) + '.' +
                         QByteArray::number(qulonglong(length)) + ">)",
                     {"FETCH"}, doing)
            .untagged;
    try {
        for (const ImapResponse &response : said) {
            const auto items = fetchItems(response);
            if (!items || !items->contains("UID") ||
                fetchedNumber(items->value("UID"), "UID") != draft.uid)
                continue;
            if (items->contains("RFC822.SIZE") &&
                fetchedNumber(items->value("RFC822.SIZE"), "RFC822.SIZE") != draft.size)
                throw Failure(QStringLiteral("Cannot %1: it is no longer the size it was listed "
                                             "with (%2 bytes): the server changed it. Nothing "
                                             "of it was handed on; list the drafts again.")
                                  .arg(doing)
                                  .arg(draft.size));
            for (auto item = items->cbegin(); item != items->cend(); ++item) {
                if (!item.key().startsWith("BODY[]"))
                    continue;
                const QByteArray origin = item.key().mid(6);
                if (!origin.isEmpty() &&
                    origin != '<' + QByteArray::number(qulonglong(offset)) + '>')
                    throw ImapReadError("the bytes of another place of the draft than asked");
                if (item.value().kind != ImapToken::String)
                    throw ImapReadError("a draft's content that is no string");
                return item.value().text;
            }
        }
    } catch (const ImapReadError &error) {
        throw Failure(notADraft(m_endpoint, doing, error));
    }
    throw Failure(QStringLiteral("Cannot %1: it is no longer in the folder. It was deleted or "
                                 "changed in the mail program since it was listed (a changed "
                                 "draft is saved anew); list the drafts again.%2")
                      .arg(doing, offset == 0 ? QString()
                                              : QStringLiteral(" %1 of its %2 bytes had been "
                                                               "handed on.")
                                                    .arg(offset)
                                                    .arg(draft.size)));
}

void ImapDraftsFolder::fetch(const FolderDraft &draft, const Sink &sink)
{
    const QString doing = QStringLiteral("fetch %1 from %2").arg(named(draft), destination());
    checkCancel();
    selectListed(doing);
    std::uint64_t offset = 0;
    for (;;) {
        checkCancel();
        const std::uint64_t left = draft.size - offset;
        // The last piece asks for a byte more: a draft longer than listed shows so.
        const std::uint64_t asked = left <= fetchPiece ? left + 1 : fetchPiece;
        const QByteArray piece = fetchBytes(draft, offset, asked, doing);
        const auto got = std::uint64_t(piece.size());
        if (got > asked || got > left)
            throw Failure(QStringLiteral("Cannot %1: the server sent more of it than the %2 "
                                         "bytes it was listed with. What was more was not "
                                         "handed on; list the drafts again.")
                              .arg(doing)
                              .arg(draft.size));
        if (got < asked && got < left)
            throw Failure(QStringLiteral("Cannot %1: the server sent %2 of its %3 bytes and no "
                                         "more; it may have been changed since it was listed. "
                                         "List the drafts again.")
                              .arg(doing)
                              .arg(offset + got)
                              .arg(draft.size));
        if (got > 0)
            sink(piece.constData(), std::size_t(got));
        offset += got;
        if (offset == draft.size)
            return;
    }
}

bool ImapDraftsFolder::mark(const FolderDraft &draft, const QByteArray &keyword)
{
    if (!isKeyword(keyword))
        throw Failure(QStringLiteral("\"%1\" cannot be a keyword of a message.")
                          .arg(QString::fromUtf8(keyword)));
    const QString doing = QStringLiteral("flag %1 in %2").arg(named(draft), destination());
    checkCancel();
    selectListed(doing);
    if (!keepsKeyword(keyword))
        return false;
    const ImapResult result = session().attempt(
        "UID STORE " + uidOf(draft) + " +FLAGS (" + keyword + ')', {"FETCH"}, doing);
    if (!result.ok())
        return false;
    // The flags echoed tell whether the keyword stayed; a server that echoes none is trusted.
    try {
        for (const ImapResponse &response : result.untagged) {
            const auto items = fetchItems(response);
            if (!items || !items->contains("UID") || !items->contains("FLAGS") ||
                fetchedNumber(items->value("UID"), "UID") != draft.uid)
                continue;
            const QList<ImapToken> flags = items->value("FLAGS").items;
            return std::any_of(flags.begin(), flags.end(), [&](const ImapToken &flag) {
                return flag.text.compare(keyword, Qt::CaseInsensitive) == 0;
            });
        }
    } catch (const ImapReadError &error) {
        throw Failure(notADraft(m_endpoint, doing, error));
    }
    return true;
}

void ImapDraftsFolder::unmark(const FolderDraft &draft, const QByteArray &keyword)
{
    if (!isKeyword(keyword))
        throw Failure(QStringLiteral("\"%1\" cannot be a keyword of a message.")
                          .arg(QString::fromUtf8(keyword)));
    const QString doing = QStringLiteral("take the flag %1 off %2 in %3")
                              .arg(QString::fromUtf8(keyword), named(draft), destination());
    checkCancel();
    selectListed(doing);
    session().command("UID STORE " + uidOf(draft) + " -FLAGS.SILENT (" + keyword + ')', {}, doing);
}

DraftRemoval ImapDraftsFolder::remove(const FolderDraft &draft, bool keepCopy)
{
    const QString doing =
        QStringLiteral("take %1 out of %2 after it was sent").arg(named(draft), destination());
    checkCancel();
    ImapSession &imap = session(); // without a password, says so before anything connects
    // Found first: a Sent folder that cannot be had leaves the draft as it was.
    const QByteArray sent = keepCopy ? sentFolder() : QByteArray();
    selectListed(doing);
    const QList<QByteArray> &capabilities = imap.loggedInCapabilities();
    const bool move = capabilities.contains("MOVE");
    const bool uidPlus = capabilities.contains("UIDPLUS");
    const QByteArray uid = uidOf(draft);
    const QByteArray sentFlag =
        keepsKeyword(sentKeyword) ? QByteArray(sentKeyword) + ' ' : QByteArray();
    const QByteArray sendingFlag =
        keepsKeyword(sendingKeyword) ? QByteArray(" ") + sendingKeyword : QByteArray();

    if (keepCopy) {
        // The copy in Sent is a sent message, read. Flagged sent before it is no longer
        // flagged as being sent: a draft that a failure below leaves in the folder is never
        // sent again by a later run.
        imap.command("UID STORE " + uid + " +FLAGS.SILENT (" + sentFlag + "\\Seen)", {}, doing);
        imap.command("UID STORE " + uid + " -FLAGS.SILENT (\\Draft" + sendingFlag + ')', {}, doing);
        ImapCommand transfer(QByteArray("UID ") + (move ? "MOVE " : "COPY ") + uid + ' ');
        transfer.string(sent);
        imap.command(transfer, {}, doing);
        if (move)
            return DraftRemoval::Moved;
    }
    try {
        if (uidPlus) {
            imap.command("UID STORE " + uid + " +FLAGS.SILENT (\\Deleted)", {}, doing);
            imap.command("UID EXPUNGE " + uid, {}, doing);
            return DraftRemoval::CopiedExpunged;
        }
        // Without UIDPLUS only EXPUNGE would remove it, and with it whatever else is
        // \Deleted there, which is not ours to remove.
        imap.command("UID STORE " + uid + " +FLAGS.SILENT (" + sentFlag + "\\Deleted)", {}, doing);
        if (!keepCopy && !sendingFlag.isEmpty())
            imap.attempt("UID STORE " + uid + " -FLAGS.SILENT (" + sendingFlag.mid(1) + ')', {},
                         doing);
        return DraftRemoval::MarkedSent;
    } catch (const Failure &failure) {
        if (!keepCopy)
            throw;
        throw Failure(QStringLiteral("%1\n\nIt was already copied into %2; delete it in the "
                                     "drafts folder so that it is not sent again.")
                          .arg(failure.description(), sentDestination()));
    }
}
