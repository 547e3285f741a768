#pragma once

#include <cstddef>
#include <cstdint>

// MIME base64 (RFC 2045): lines of 76 characters, each ended by "\n", the last one too.
// Every 57 input bytes make exactly one full line, so a caller can encode any run of
// whole lines on its own and put the pieces side by side.
constexpr std::size_t base64LineInput = 57;
constexpr std::size_t base64LineLength = 76;
constexpr std::size_t base64LineStride = base64LineLength + 1;

// Bytes encodeBase64Lines writes for an input of this size.
std::uint64_t base64LinesSize(std::uint64_t inputSize);
// Lines it writes for an input of this size: one more byte each where lines end in CRLF.
std::uint64_t base64LineCount(std::uint64_t inputSize);

// Encodes the input; returns base64LinesSize(size). A size that is not a multiple of 57
// ends the data: its last line is short and padded with '='.
std::size_t encodeBase64Lines(const unsigned char *input, std::size_t size, char *output);

// The same without the processor's vector instructions, which encodeBase64Lines uses where
// it has them; for comparing the two.
std::size_t encodeBase64LinesPortably(const unsigned char *input, std::size_t size, char *output);
