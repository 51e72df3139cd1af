// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

// Decoding one zlib chunk of an archive.
namespace kelmora {

// Decodes the zlib stream `in` into exactly `expected` bytes at `out`: an empty text on success,
// else what is wrong with the stream. Safe to call from several threads at once.
std::string InflateChunk(const unsigned char* in, size_t inSize, unsigned char* out,
                         size_t expected);

}  // namespace kelmora
