#include "mailbridge/tls/ServerTrust.h"

#include "common/Failure.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <memory>

// What each handshake of the handle's connections reads, and the first certificate it refused;
// used on the thread that drives the handle.
struct ServerTrust::Handshake
{
    QByteArray caFile;
    QString refused;
};

namespace {

struct StoreFree
{
    void operator()(X509_STORE *store) const { X509_STORE_free(store); }
};

struct BioFree
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};

// Where each SSL_CTX keeps the Handshake of the ServerTrust that prepared it.
int handshakeIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString nameText(const X509_NAME *name)
{
    const std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || !name || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0)
        return QStringLiteral("(unreadable)");
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data); // owned by the BIO
    // A name is the server's own words: at most a line of it.
    return QString::fromUtf8(data, int(std::min(length, 256L))).simplified();
}

int rememberRefusal(int verified, X509_STORE_CTX *context)
{
    if (verified)
        return verified;
    auto *ssl = static_cast<SSL *>(
        X509_STORE_CTX_get_ex_data(context, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *handshake = ssl ? static_cast<ServerTrust::Handshake *>(
                                SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), handshakeIndex()))
                          : nullptr;
    if (handshake && handshake->refused.isEmpty()) {
        const X509 *certificate = X509_STORE_CTX_get_current_cert(context);
        const int error = X509_STORE_CTX_get_error(context);
        handshake->refused =
            QStringLiteral("the certificate \"%1\", issued by \"%2\": %3")
                .arg(nameText(certificate ? X509_get_subject_name(certificate) : nullptr),
                     nameText(certificate ? X509_get_issuer_name(certificate) : nullptr),
                     QString::fromUtf8(X509_verify_cert_error_string(error)));
    }
    return verified;
}

// libcurl's OpenSSL context, before the handshake: the account's authorities join the ones
// libcurl loaded, and a refused certificate is remembered.
CURLcode prepareContext(CURL *, void *sslContext, void *data)
{
    auto *context = static_cast<SSL_CTX *>(sslContext);
    auto *handshake = static_cast<ServerTrust::Handshake *>(data);
    if (!handshake->caFile.isEmpty() &&
        X509_STORE_load_file(SSL_CTX_get_cert_store(context), handshake->caFile.constData()) != 1) {
        ERR_clear_error();
        return CURLE_SSL_CACERT_BADFILE;
    }
    handshake->refused.clear();
    SSL_CTX_set_ex_data(context, handshakeIndex(), handshake);
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), rememberRefusal);
    return CURLE_OK;
}

void set(CURL *curl, CURLoption option, const void *value, const char *what)
{
    if (curl_easy_setopt(curl, option, value) != CURLE_OK)
        throw Failure(QStringLiteral("This program's libcurl cannot %1.").arg(QLatin1String(what)));
}

// Throws Failure unless path is a PEM file holding at least one certificate.
void checkAuthorities(const QByteArray &path)
{
    const QString shown = QFile::decodeName(path);
    QFile file(shown);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The certificate authorities in CaFile, %1, cannot be read: "
                                     "%2.")
                          .arg(shown, file.errorString()));
    file.close();
    const std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store || X509_STORE_load_file(store.get(), path.constData()) != 1) {
        ERR_clear_error();
        throw Failure(QStringLiteral("CaFile, %1, holds no certificate in PEM form (\"-----BEGIN "
                                     "CERTIFICATE-----\"): name the file of your server's "
                                     "certificate authority.")
                          .arg(shown));
    }
}

} // namespace

ServerTrust::ServerTrust(const QString &caFile)
    : m_systemFile(qgetenv("SSL_CERT_FILE")), m_systemFolder(qgetenv("SSL_CERT_DIR")),
      m_handshake(std::make_unique<Handshake>())
{
    m_handshake->caFile = QFile::encodeName(caFile);
}

ServerTrust::~ServerTrust() = default;

void ServerTrust::apply(CURL *curl)
{
    const QByteArray &caFile = m_handshake->caFile;
    if (!caFile.isEmpty())
        checkAuthorities(caFile);
    // As OpenSSL's tools read them: each names what replaces the system's own.
    if (!m_systemFile.isEmpty())
        set(curl, CURLOPT_CAINFO, m_systemFile.constData(), "use SSL_CERT_FILE");
    if (!m_systemFolder.isEmpty())
        set(curl, CURLOPT_CAPATH, m_systemFolder.constData(), "use SSL_CERT_DIR");
#if LIBCURL_VERSION_NUM >= 0x075700
    // A cached store would carry the account's authorities to other connections, and miss
    // them where another store was cached first.
    if (curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L) != CURLE_OK)
        throw Failure(QStringLiteral("This program's libcurl cannot build its certificate "
                                     "store anew for each connection."));
#endif
    // libcurl keeps the pointer; the handshake's state lives as long as this object.
    if (curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, prepareContext) != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, m_handshake.get()) != CURLE_OK) {
        if (!caFile.isEmpty())
            throw Failure(QStringLiteral("CaFile is set, but this program's libcurl is not "
                                         "built with OpenSSL and cannot add authorities."));
    }
}

QString ServerTrust::refusedCertificate() const
{
    return m_handshake->refused;
}

QString ServerTrust::advice() const
{
    // A certificate that verified but names another server needs no authority: libcurl says so.
    if (refusedCertificate().isEmpty())
        return {};
    const QString refused = QStringLiteral("It refused %1. ").arg(refusedCertificate());
    if (!m_handshake->caFile.isEmpty())
        return refused + QStringLiteral("The authorities in CaFile, %1, and the system's do not "
                                        "vouch for it.")
                             .arg(QFile::decodeName(m_handshake->caFile));
    return refused + QStringLiteral("If the server's certificate comes from an authority of its "
                                    "own (a company's or your own), save that authority's "
                                    "certificate as a PEM file and name it as CaFile in the "
                                    "[MailClient] section, or under Advanced in the Mail account "
                                    "window.");
}
