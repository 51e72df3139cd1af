// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/Lz77.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kelmora::lz77 {
namespace {
constexpr size_t kWindowSize = 4096;
constexpr size_t kWindowMask = kWindowSize - 1;
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 17;
}  // namespace

std::string Decode(const unsigned char* in, size_t inSize, unsigned char* out, size_t expected) {
    std::array<unsigned char, kWindowSize> window{};
    size_t w = 1;
    size_t inPos = 0;
    size_t outPos = 0;
    while (outPos < expected) {
        if (inPos >= inSize) return "LZ77 data runs out of input";
        unsigned tag = in[inPos++];
        for (int bit = 0; bit < 8 && outPos < expected; ++bit, tag >>= 1) {
            if ((tag & 1) == 0) {
                if (inPos >= inSize) return "LZ77 data runs out of input";
                unsigned char b = in[inPos++];
                out[outPos++] = b;
                window[w] = b;
                w = (w + 1) & kWindowMask;
                continue;
            }
            if (inPos + 2 > inSize) return "LZ77 data runs out of input";
            unsigned v = in[inPos] | unsigned{in[inPos + 1]} << 8;
            inPos += 2;
            size_t src = v >> 4;
            if (src == 0) return "LZ77 data ends before the chunk's decompressed size";
            size_t count = (v & 0xF) + kMinMatch;
            if (count > expected - outPos)
                return "LZ77 data overruns the chunk's decompressed size";
            for (size_t i = 0; i < count; ++i) {
                unsigned char b = window[src];
                out[outPos++] = b;
                window[w] = b;
                src = (src + 1) & kWindowMask;
                w = (w + 1) & kWindowMask;
            }
        }
    }
    return {};
}

std::vector<unsigned char> Encode(const unsigned char* in, size_t size) {
    // Greedy matching over a hash of the next two bytes, with short chains of earlier positions.
    // A match from input position q is valid while fewer than 4096 bytes separate it from the
    // current position, and never when its window index (1 + q) & 0xFFF is 0, the end marker.
    constexpr size_t kHashSize = 1 << 12;
    constexpr int kMaxChain = 32;
    std::vector<int32_t> head(kHashSize, -1);
    std::vector<int32_t> previous(size, -1);
    auto hash = [&](size_t pos) {
        return ((in[pos] << 4) ^ in[pos + 1] ^ (in[pos] >> 4)) & (kHashSize - 1);
    };

    std::vector<unsigned char> out;
    out.reserve(size + size / 8 + 4);
    size_t tagPos = 0;
    int bit = 8;
    auto startItem = [&](bool reference) {
        if (bit == 8) {
            tagPos = out.size();
            out.push_back(0);
            bit = 0;
        }
        if (reference) out[tagPos] = static_cast<unsigned char>(out[tagPos] | (1u << bit));
        ++bit;
    };
    auto insert = [&](size_t pos) {
        if (pos + 1 >= size) return;
        size_t h = hash(pos);
        previous[pos] = head[h];
        head[h] = static_cast<int32_t>(pos);
    };

    size_t pos = 0;
    while (pos < size) {
        size_t bestLength = 0;
        size_t bestSource = 0;
        if (pos + kMinMatch <= size) {
            int32_t candidate = head[hash(pos)];
            size_t limit = std::min(kMaxMatch, size - pos);
            for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
                size_t q = static_cast<size_t>(candidate);
                if (pos - q >= kWindowSize) break;
                size_t source = (1 + q) & kWindowMask;
                if (source != 0) {
                    size_t length = 0;
                    while (length < limit && in[q + length] == in[pos + length]) ++length;
                    if (length > bestLength) {
                        bestLength = length;
                        bestSource = source;
                        if (length == limit) break;
                    }
                }
                candidate = previous[q];
            }
        }
        if (bestLength >= kMinMatch) {
            startItem(true);
            unsigned v = static_cast<unsigned>(bestSource << 4 | (bestLength - kMinMatch));
            out.push_back(static_cast<unsigned char>(v));
            out.push_back(static_cast<unsigned char>(v >> 8));
            for (size_t i = 0; i < bestLength; ++i) insert(pos + i);
            pos += bestLength;
        } else {
            startItem(false);
            out.push_back(in[pos]);
            insert(pos);
            ++pos;
        }
    }
    startItem(true);
    out.push_back(0);
    out.push_back(0);
    return out;
}

}  // namespace kelmora::lz77
