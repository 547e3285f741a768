#pragma once

#include <QByteArray>

// Proof Key for Code Exchange with S256: the verifier stays here, the challenge goes out with
// the authorize request, so a code caught on the way is useless to anyone else.
struct Pkce
{
    QByteArray verifier;
    QByteArray challenge;
};

Pkce makePkce();
// base64url without padding of the SHA-256 of verifier.
QByteArray pkceChallenge(const QByteArray &verifier);
// base64url without padding of byteCount bytes from the system's secure random source.
QByteArray randomUrlSafe(int byteCount);
