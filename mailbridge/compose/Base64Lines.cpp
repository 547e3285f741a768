#include "mailbridge/compose/Base64Lines.h"

#include <array>
#include <cstring>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Both characters for each 12 bits, so three input bytes take two lookups.
constexpr std::array<char, 2 * 4096> pairTable = [] {
    std::array<char, 2 * 4096> table{};
    for (unsigned i = 0; i < 4096; ++i) {
        table[2 * i] = alphabet[i >> 6];
        table[2 * i + 1] = alphabet[i & 63];
    }
    return table;
}();

inline void encodeTriple(const unsigned char *in, char *out)
{
    const unsigned value = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
    std::memcpy(out, &pairTable[2 * (value >> 12)], 2);
    std::memcpy(out + 2, &pairTable[2 * (value & 0xfff)], 2);
}

// 57 bytes are 19 triples; the compiler unrolls this into straight-line code.
inline void encodeFullLine(const unsigned char *in, char *out)
{
    for (int i = 0; i < 19; ++i)
        encodeTriple(in + 3 * i, out + 4 * i);
    out[base64LineLength] = '\n';
}

std::size_t encodeLastLine(const unsigned char *in, std::size_t size, char *out)
{
    char *const start = out;
    for (; size >= 3; size -= 3, in += 3, out += 4)
        encodeTriple(in, out);
    if (size > 0) {
        const unsigned value = unsigned(in[0]) << 16 | (size == 2 ? unsigned(in[1]) << 8 : 0);
        *out++ = alphabet[value >> 18];
        *out++ = alphabet[(value >> 12) & 63];
        *out++ = size == 2 ? alphabet[(value >> 6) & 63] : '=';
        *out++ = '=';
    }
    *out++ = '\n';
    return std::size_t(out - start);
}

} // namespace

std::uint64_t base64LinesSize(std::uint64_t inputSize)
{
    const std::uint64_t rest = inputSize % base64LineInput;
    return inputSize / base64LineInput * base64LineStride + (rest ? (rest + 2) / 3 * 4 + 1 : 0);
}

std::size_t encodeBase64Lines(const unsigned char *input, std::size_t size, char *output)
{
    char *out = output;
    for (; size >= base64LineInput; size -= base64LineInput) {
        encodeFullLine(input, out);
        input += base64LineInput;
        out += base64LineStride;
    }
    if (size > 0)
        out += encodeLastLine(input, size, out);
    return std::size_t(out - output);
}
