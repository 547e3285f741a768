#pragma once

#include "DovecotServer.h"
#include "ImapFolderReader.h"
#include "mailbridge/imap/ImapEndpoint.h"
#include "support/TestTools.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ImapOutbox;
class TransferMonitor;

// One Dovecot per test suite (started when the suite's first test needs it), its drafts
// folder emptied before each test; a temporary folder for attachments.
class ImapServerFixture : public testing::Test
{
protected:
    static void TearDownTestSuite();
    void SetUp() override;

    // The server of this suite; started with options the first time.
    static DovecotServer &server(const DovecotOptions &options = {});

    ImapEndpoint endpoint(ImapSecurity security = ImapSecurity::Tls,
                          const QString &user = DovecotServer::user) const;
    ImapFolderReader reader(const QString &user = DovecotServer::user) const;
    QString randomFile(const QString &name, qsizetype size);
    // Files one message with these attachments as one Send would.
    void send(ImapOutbox &outbox, const QString &subject, const QStringList &attachments,
              TransferMonitor &monitor);
    void send(ImapOutbox &outbox, const QString &subject, const QStringList &attachments);
    // Subjects of the folder's messages, in UID order.
    QStringList subjectsIn(const QString &folder = DovecotServer::draftsFolder,
                           const QString &user = DovecotServer::user) const;
    // The folder the server offers for drafts, emptied before each test.
    QString draftsFolder() const;

    // Options for server(); suites set it in their constructor's place.
    virtual DovecotOptions options() const { return {}; }

    QTemporaryDir dir;

private:
    static std::unique_ptr<DovecotServer> s_server;
};

// The Subject header of a raw message.
QString subjectOf(const QByteArray &raw);
