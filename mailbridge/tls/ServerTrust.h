#pragma once

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <memory>

// The certificate authorities a connection to a mail server trusts: the system's, or those
// SSL_CERT_FILE and SSL_CERT_DIR name (as OpenSSL's own tools read them), and besides them
// the account's own CaFile, for a server with a private authority. The server's certificate
// is always verified and its name checked; nothing here turns that off.
class ServerTrust
{
public:
    // caFile: a PEM file of authorities to trust as well; empty for none.
    explicit ServerTrust(const QString &caFile = {});
    ~ServerTrust();
    ServerTrust(const ServerTrust &) = delete;
    ServerTrust &operator=(const ServerTrust &) = delete;

    // Sets the handle's authorities and the check that remembers a certificate it refuses.
    // This object must outlive every connection the handle makes. Throws Failure when libcurl
    // cannot take them.
    void apply(CURL *curl);

    // After a handshake that failed verification: which certificate was refused and why, as
    // a person reads it ("the certificate "CN=mail.example.org", issued by "CN=Example CA":
    // unable to get local issuer certificate"); empty when none was.
    QString refusedCertificate() const;

    // What to add to a failure when the server's certificate did not verify; empty when no
    // authority could have helped (it verified, but for another name).
    QString advice() const;

    struct Handshake;

private:
    QByteArray m_systemFile, m_systemFolder;
    std::unique_ptr<Handshake> m_handshake;
};
