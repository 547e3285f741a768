#include "mailbridge/oauth/Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

constexpr auto urlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

} // namespace

QByteArray randomUrlSafe(int byteCount)
{
    QByteArray bytes(byteCount, Qt::Uninitialized);
    QRandomGenerator *random = QRandomGenerator::system();
    for (char &byte : bytes)
        byte = char(random->bounded(256));
    return bytes.toBase64(urlSafe);
}

QByteArray pkceChallenge(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(urlSafe);
}

Pkce makePkce()
{
    // 32 bytes give the 43 characters the smallest verifier allowed has.
    const QByteArray verifier = randomUrlSafe(32);
    return {verifier, pkceChallenge(verifier)};
}
