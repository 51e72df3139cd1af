// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The game's own LZ77 variant for one chunk: a zero-filled 4096-byte window whose write index
// starts at 1, tag bytes read from bit 0 upward, literals, and references (u16: absolute window
// index << 4 | length - 2) where index 0 ends the chunk.
namespace kelmora::lz77 {

// Decodes `in` into exactly `expected` bytes at `out`. Stops at the end marker or once `expected`
// bytes are out (the makers' encoder leaves a spare byte after the marker). Returns an empty text
// on success, else what is wrong: the stream ends early, overruns `expected`, or runs out of input.
std::string Decode(const unsigned char* in, size_t inSize, unsigned char* out, size_t expected);

// Encodes one chunk (at most 65536 bytes) the way Decode reads it, with an end marker.
std::vector<unsigned char> Encode(const unsigned char* in, size_t size);

}  // namespace kelmora::lz77
