#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <memory>

struct evp_md_ctx_st;

using Sha256Digest = std::array<unsigned char, 32>;

// SHA-256 over bytes given in pieces, by OpenSSL, which uses the processor's SHA instructions
// where it has them: hashing then costs little beside reading and encoding the same bytes.
class Sha256
{
public:
    Sha256(); // throws Failure when OpenSSL cannot start a digest
    ~Sha256();
    Sha256(Sha256 &&) noexcept;
    Sha256 &operator=(Sha256 &&) noexcept;

    void add(const void *data, std::size_t length);
    // The digest of everything added; nothing may be added afterwards.
    Sha256Digest finish();

private:
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};

// 64 lowercase hexadecimal digits.
QByteArray hexDigits(const Sha256Digest &digest);
