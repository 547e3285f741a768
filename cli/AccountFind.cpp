#include "cli/AccountFind.h"

#include "common/OneLineText.h"

namespace {

constexpr int found = 0;
constexpr int notFound = 1;
constexpr int wrongArguments = 2;

} // namespace

QString addressProblem(const QString &address)
{
    const QString shown = oneLineText(address);
    for (const QChar c : address)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return QStringLiteral("\"%1\" is not an email address: it holds a control "
                                  "character.")
                .arg(shown);
    const qsizetype at = address.indexOf(u'@');
    if (at < 0 || address.count(u'@') != 1)
        return QStringLiteral("\"%1\" is not an email address: it needs exactly one @, as in "
                              "me@example.org.")
            .arg(shown);
    if (at == 0 || at == address.size() - 1)
        return QStringLiteral("\"%1\" is not an email address: a name before the @ and a "
                              "domain after it are needed, as in me@example.org.")
            .arg(shown);
    return {};
}

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
    const QString address = QString::fromLocal8Bit(arguments[1]);
    if (const QString wrong = addressProblem(address); !wrong.isEmpty()) {
        err << terminalText(wrong) << '\n';
        return wrongArguments;
    }
    const DiscoveryResult result = search(address);
    // Names and reasons may come from DNS: never raw to the terminal.
    switch (result.outcome) {
    case DiscoveryResult::Outcome::Found:
        out << terminalText(describeResult(result));
        return found;
    case DiscoveryResult::Outcome::NotAnAddress:
        err << terminalText(result.reason) << '\n';
        return wrongArguments;
    case DiscoveryResult::Outcome::NothingFound:
    case DiscoveryResult::Outcome::LookupFailed:
        break;
    }
    err << terminalText(result.reason) << '\n';
    return notFound;
}
