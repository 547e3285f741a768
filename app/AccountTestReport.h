#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct ImapAccountCheck;

// What the mail account's Test found, in two parts: a few plain lines anyone can read, and
// the server's own words for whoever opens the details.
struct AccountTestReport
{
    QString lines;
    QString details;
};

AccountTestReport accountTestReport(const ImapAccountCheck &check, const QString &user,
                                    const QString &host);
// The outgoing server took the login (an empty user: the connection); limit: the SIZE it
// announces.
AccountTestReport smtpTestReport(std::optional<std::uint64_t> limit, const QString &user,
                                 const QString &host);

// One server's part of a Test: its report, or why it failed.
struct ServerTestPart
{
    QString heading; // "Incoming mail (IMAP)" and the like
    AccountTestReport report;
};

// The parts as one report: a single part as it is, several each under its heading.
AccountTestReport combinedReport(const std::vector<ServerTestPart> &parts);
