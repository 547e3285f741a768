#include "cli/AccountFind.h"

namespace {

constexpr int found = 0;
constexpr int notFound = 1;
constexpr int wrongArguments = 2;

} // namespace

QString accountUsageText()
{
    return QStringLiteral(
        "Usage: ferrymail account find ADDRESS\n"
        "\n"
        "Prints the IMAP settings for ADDRESS as the Mail account window's Find settings\n"
        "fills them in: from the list of known providers, else from the DNS records\n"
        "(_imaps._tcp, then _imap._tcp) of the address's domain. Changes no setting.\n"
        "\n"
        "Exit codes: 0 found; 1 nothing found or the lookup failed; 2 wrong arguments.\n");
}

int runAccountCommand(const QList<QByteArray> &arguments, const SettingsSearch &search,
                      QTextStream &out, QTextStream &err)
{
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out << accountUsageText();
        return found;
    }
    if (arguments.size() != 2 || arguments[0] != "find" || arguments[1].startsWith('-')) {
        err << accountUsageText();
        return wrongArguments;
    }
    const DiscoveryResult result = search(QString::fromLocal8Bit(arguments[1]));
    switch (result.outcome) {
    case DiscoveryResult::Outcome::Found:
        out << describeResult(result);
        return found;
    case DiscoveryResult::Outcome::NotAnAddress:
        err << result.reason << '\n';
        return wrongArguments;
    case DiscoveryResult::Outcome::NothingFound:
    case DiscoveryResult::Outcome::LookupFailed:
        break;
    }
    err << result.reason << '\n';
    return notFound;
}
