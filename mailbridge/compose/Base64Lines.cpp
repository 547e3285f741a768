#include "mailbridge/compose/Base64Lines.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

void encodeFullLinesScalar(const unsigned char *in, std::size_t lines, char *out)
{
    for (; lines > 0; --lines, in += base64LineInput, out += base64LineStride)
        encodeFullLine(in, out);
}

#if defined(__x86_64__)

// Three bytes in each 32-bit slot of a 16-byte lane as the four 6-bit values of their
// base64 characters, one per byte, then those values as characters: the shift-and-multiply
// split and the range lookup known from vectorised base64 encoders.
#define FERRYMAIL_AVX2 __attribute__((target("avx2")))

FERRYMAIL_AVX2 inline __m256i charactersOf(__m256i spread)
{
    const __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(spread, _mm256_set1_epi32(0x0fc0fc00)),
                                            _mm256_set1_epi32(0x04000040));
    const __m256i low = _mm256_mullo_epi16(_mm256_and_si256(spread, _mm256_set1_epi32(0x003f03f0)),
                                           _mm256_set1_epi32(0x01000010));
    const __m256i values = _mm256_or_si256(high, low);
    // 0..25 -> 13, 26..51 -> 0, 52..61 -> 1..10, 62 -> 11, 63 -> 12: the row of the offset.
    __m256i row = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), values);
    row = _mm256_or_si256(row, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    const __m256i offsets =
        _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                         '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                         'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                         '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm256_add_epi8(_mm256_shuffle_epi8(offsets, row), values);
}

// Bytes first..first+11 of each lane, spread as the byte pairs the split above expects.
FERRYMAIL_AVX2 inline __m256i spread(__m256i lanes, int first)
{
    const __m256i fromZero = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1,
                                              0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    return _mm256_shuffle_epi8(lanes, _mm256_add_epi8(fromZero, _mm256_set1_epi8(char(first))));
}

FERRYMAIL_AVX2 inline __m256i twoLoads(const unsigned char *low, const unsigned char *high)
{
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(high)), 1);
}

// A line is bytes 0..23 and 24..47 as two 32-character halves, then bytes 45..56 as the last
// 16 characters, overlapping the second half by four equal ones. No load leaves the line.
FERRYMAIL_AVX2 void encodeFullLinesAvx2(const unsigned char *in, std::size_t lines, char *out)
{
    for (; lines > 0; --lines, in += base64LineInput, out += base64LineStride) {
        const __m256i first = charactersOf(spread(twoLoads(in, in + 12), 0));
        const __m256i second = charactersOf(spread(twoLoads(in + 24, in + 36), 0));
        // Bytes 41..56 in both lanes; the characters of 45..56 come from offset 4.
        const __m256i tail = charactersOf(spread(twoLoads(in + 41, in + 41), 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), first);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 32), second);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 60), _mm256_castsi256_si128(tail));
        out[base64LineLength] = '\n';
    }
}

using FullLinesEncoder = void (*)(const unsigned char *, std::size_t, char *);

FullLinesEncoder fastestFullLinesEncoder()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? encodeFullLinesAvx2 : encodeFullLinesScalar;
}

void encodeFullLines(const unsigned char *in, std::size_t lines, char *out)
{
    static const FullLinesEncoder encode = fastestFullLinesEncoder();
    encode(in, lines, out);
}

#else

void encodeFullLines(const unsigned char *in, std::size_t lines, char *out)
{
    encodeFullLinesScalar(in, lines, out);
}

#endif

template <void (*fullLines)(const unsigned char *, std::size_t, char *)>
std::size_t encodeWith(const unsigned char *input, std::size_t size, char *output)
{
    const std::size_t lines = size / base64LineInput;
    fullLines(input, lines, output);
    const std::size_t rest = size % base64LineInput;
    char *const out = output + lines * base64LineStride;
    return lines * base64LineStride +
           (rest > 0 ? encodeLastLine(input + lines * base64LineInput, rest, out) : 0);
}

} // namespace

std::uint64_t base64LinesSize(std::uint64_t inputSize)
{
    const std::uint64_t rest = inputSize % base64LineInput;
    return inputSize / base64LineInput * base64LineStride + (rest ? (rest + 2) / 3 * 4 + 1 : 0);
}

std::uint64_t base64LineCount(std::uint64_t inputSize)
{
    return (inputSize + base64LineInput - 1) / base64LineInput;
}

std::size_t encodeBase64Lines(const unsigned char *input, std::size_t size, char *output)
{
    return encodeWith<encodeFullLines>(input, size, output);
}

std::size_t encodeBase64LinesPortably(const unsigned char *input, std::size_t size, char *output)
{
    return encodeWith<encodeFullLinesScalar>(input, size, output);
}
