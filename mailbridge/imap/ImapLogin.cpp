#include "mailbridge/imap/ImapLogin.h"

#include "mailbridge/imap/ImapFailures.h"
#include "mailbridge/imap/ImapResponses.h"

namespace {

QByteArray saslName(const QByteArray &user)
{
    QByteArray name = user;
    return name.replace('=', "=3D").replace(',', "=2C");
}

[[noreturn]] void passwordRefused(ImapExchange &exchange, const QString &doing,
                                  const QByteArray &said)
{
    exchange.close();
    throw Failure(QStringLiteral("Cannot %1: the server refused the user name or password "
                                 "(\"%2\"). Check the user name and the password (in the "
                                 "keyring, or what the PasswordCommand prints).")
                      .arg(doing, QString::fromUtf8(said)));
}

} // namespace

QList<QByteArray> capabilitiesAfter(ImapExchange &exchange, const ImapResult &answer,
                                    const QString &doing)
{
    if (const QList<QByteArray> announced = capabilitiesIn(answer.all()); !announced.isEmpty())
        return announced;
    const ImapResult asked = exchange.run(QByteArray("CAPABILITY"), {"CAPABILITY"}, doing);
    if (!asked.ok()) {
        exchange.close();
        throw Failure(imapFailure::refused(exchange.connection().endpoint(), doing, asked.answer));
    }
    return capabilitiesIn(asked.all());
}

QList<QByteArray> logInWithPassword(ImapExchange &exchange, const ImapEndpoint &endpoint,
                                    const QString &password, const QString &doing)
{
    ImapCommand login("LOGIN ");
    login.string(endpoint.user.toUtf8()) << " ";
    login.string(password.toUtf8());
    ImapResult result;
    try {
        result = exchange.run(login, {"CAPABILITY"}, doing);
    } catch (const ImapBroken &) {
        // Some servers say BYE to a wrong password and close.
        const QByteArray lastWords = exchange.connection().lastWords();
        if (lastWords.isEmpty())
            throw;
        passwordRefused(exchange, doing, lastWords);
    }
    if (!result.ok())
        passwordRefused(exchange, doing, result.answer.statusLine());
    return capabilitiesAfter(exchange, result, doing);
}

QByteArray tokenMechanism(const QList<QByteArray> &capabilities)
{
    if (capabilities.contains("AUTH=OAUTHBEARER"))
        return "OAUTHBEARER";
    if (capabilities.contains("AUTH=XOAUTH2"))
        return "XOAUTH2";
    return QByteArray();
}

ImapResult authenticateWithToken(ImapExchange &exchange, const ImapEndpoint &endpoint,
                                 const QList<QByteArray> &capabilities, const QByteArray &token,
                                 const QString &doing)
{
    const QByteArray mechanism = tokenMechanism(capabilities);
    const bool bearer = mechanism == "OAUTHBEARER";
    const QByteArray user = endpoint.user.toUtf8();
    const QByteArray initial =
        (bearer ? "n,a=" + saslName(user) + ",\x01host=" + endpoint.host.toUtf8() +
                      "\x01port=" + QByteArray::number(endpoint.port) +
                      "\x01"
                      "auth=Bearer " +
                      token + "\x01\x01"
                : "user=" + user +
                      "\x01"
                      "auth=Bearer " +
                      token + "\x01\x01")
            .toBase64();
    const QByteArray tag = exchange.begin();
    const bool inline_ = capabilities.contains("SASL-IR");
    exchange.send(tag + " AUTHENTICATE " + mechanism + (inline_ ? ' ' + initial : QByteArray()) +
                      "\r\n",
                  doing);
    bool answered = inline_;
    for (int rounds = 0;;) {
        ImapResponse response = exchange.read(doing);
        if (response.kind == ImapResponse::Continuation) {
            if (++rounds > exchange.limits().saslRounds) {
                exchange.close();
                throw ImapBroken(
                    imapFailure::unreadable(endpoint, doing,
                                            QStringLiteral("more than %1 rounds of sign-in")
                                                .arg(exchange.limits().saslRounds)));
            }
            // The first go-ahead takes the token; a later one carries the server's reasons,
            // answered with the empty (or, for OAUTHBEARER, ^A) response.
            exchange.send((answered ? (bearer ? QByteArray("AQ==") : QByteArray()) : initial) +
                              "\r\n",
                          doing);
            answered = true;
            continue;
        }
        if (response.kind == ImapResponse::Tagged && response.tag == tag)
            return ImapResult{std::move(response), {}};
        if (response.kind == ImapResponse::Untagged && response.codeName() == "CAPABILITY")
            continue;
    }
}
