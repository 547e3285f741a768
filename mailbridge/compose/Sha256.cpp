#include "mailbridge/compose/Sha256.h"

#include "common/Failure.h"

#include <openssl/evp.h>

namespace {

[[noreturn]] void digestFailed()
{
    throw Failure(QStringLiteral("Cannot compute a SHA-256 checksum: OpenSSL refused"));
}

} // namespace

void Sha256::Free::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
        digestFailed();
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256 &&) noexcept = default;
Sha256 &Sha256::operator=(Sha256 &&) noexcept = default;

void Sha256::add(const void *data, std::size_t length)
{
    if (EVP_DigestUpdate(m_context.get(), data, length) != 1)
        digestFailed();
}

Sha256Digest Sha256::finish()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context.get(), digest.data(), &length) != 1 || length != digest.size())
        digestFailed();
    return digest;
}

QByteArray hexDigits(const Sha256Digest &digest)
{
    return QByteArray(reinterpret_cast<const char *>(digest.data()), qsizetype(digest.size()))
        .toHex();
}
