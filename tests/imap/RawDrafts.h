#pragma once

#include "mailbridge/imap/ImapSession.h"
#include "support/TestTools.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Drafts as mail programs save them, with file names written each way they write them.
struct RawDraft
{
    QString subject;
    QString messageId;
    QStringList recipients;
    QStringList attachmentNames;
    QByteArray bytes; // CRLF
};

inline QByteArray crlf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

inline QByteArray base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines += encoded.mid(at, 76) + "\r\n";
    return lines;
}

// bigBytes: the size of the random attachment of the second draft.
inline std::vector<RawDraft> rawDrafts(qsizetype bigBytes = 3 * 1024 * 1024)
{
    std::vector<RawDraft> drafts;
    drafts.push_back(RawDraft{
        QStringLiteral("Résumé des fichiers"),
        QStringLiteral("first.1@ferrymail.test"),
        {"ann@example.org", "bob@example.net", "carl@example.com", "dora@example.org"},
        {QStringLiteral("café menu.pdf"),
         QStringLiteral("Une très longue liste de fichiers à envoyer avant la fin de "
                        "l’année prochaine, n°1.txt"),
         QStringLiteral("plain name.bin")},
        crlf("From: Me <me@example.org>\n"
             "To: Ann <ann@example.org>, bob@example.net\n"
             "Cc: team: carl@example.com;\n"
             "Bcc: dora@example.org\n"
             "Subject: =?UTF-8?Q?R=C3=A9sum=C3=A9_des_fichiers?=\n"
             "Message-ID: <first.1@ferrymail.test>\n"
             "MIME-Version: 1.0\n"
             "Content-Type: multipart/mixed; boundary=\"b1\"\n"
             "\n"
             "--b1\n"
             "Content-Type: text/plain; charset=utf-8\n"
             "\n"
             "Les fichiers.\n"
             "--b1\n"
             "Content-Type: application/pdf; name=\"menu.pdf\"\n"
             "Content-Disposition: attachment; filename=\"=?UTF-8?Q?caf=C3=A9_menu.pdf?=\"\n"
             "Content-Transfer-Encoding: base64\n"
             "\n"
             "JVBERi0xLjQK\n"
             "--b1\n"
             "Content-Type: text/plain; charset=utf-8\n"
             "Content-Disposition: attachment;\n"
             " filename*0*=utf-8''Une%20tr%C3%A8s%20longue%20liste%20de%20fichiers%20%C3%A0;\n"
             " filename*1=\" envoyer avant la fin de \";\n"
             " filename*2*=l%E2%80%99ann%C3%A9e%20prochaine%2C%20n%C2%B01.txt\n"
             "\n"
             "texte\n"
             "--b1\n"
             "Content-Type: application/octet-stream; name=\"plain name.bin\"\n"
             "Content-Transfer-Encoding: base64\n"
             "\n"
             "AAECAw==\n"
             "--b1--\n")});
    drafts.push_back(
        RawDraft{QStringLiteral("Big one"),
                 QStringLiteral("second.2@ferrymail.test"),
                 {"ann@example.org"},
                 {QStringLiteral("big data.bin")},
                 crlf("From: me@example.org\n"
                      "To: ann@example.org\n"
                      "Subject: Big one\n"
                      "Message-ID: <second.2@ferrymail.test>\n"
                      "MIME-Version: 1.0\n"
                      "Content-Type: multipart/mixed; boundary=\"b2\"\n"
                      "\n"
                      "--b2\n"
                      "Content-Type: application/octet-stream\n"
                      "Content-Disposition: attachment; filename*=utf-8''big%20data.bin\n"
                      "Content-Transfer-Encoding: base64\n"
                      "\n") +
                     base64Lines(randomBytes(bigBytes, 7)) + "--b2--\r\n"});
    drafts.push_back(RawDraft{QStringLiteral("Plain note"),
                              QStringLiteral("third.3@ferrymail.test"),
                              {"eve@example.org"},
                              {},
                              crlf("From: me@example.org\n"
                                   "To: eve@example.org\n"
                                   "Subject: Plain note\n"
                                   "Message-ID: <third.3@ferrymail.test>\n"
                                   "\n"
                                   "Just text.\n")});
    return drafts;
}

// Files the message as a mail program saves a draft.
inline void appendRaw(ImapSession &session, const RawDraft &draft)
{
    session.append(std::uint64_t(draft.bytes.size()), draft.messageId.toUtf8(),
                   QStringLiteral("the draft \"%1\"").arg(draft.subject),
                   [&](const ImapSession::MessageSink &sink) {
                       sink(draft.bytes.constData(), std::size_t(draft.bytes.size()));
                   });
}
