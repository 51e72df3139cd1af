// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/Inflate.h"

#include <libdeflate.h>
#include <zlib.h>

namespace kelmora {

namespace {

// One zlib inflater per thread, reset for every chunk rather than set up anew.
class Inflater {
public:
    Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
    ~Inflater() {
        if (ready_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // A zlib stream that decodes to exactly `expected` bytes; an empty text on success.
    std::string Run(const unsigned char* in, size_t inSize, unsigned char* out, size_t expected) {
        if (!ready_ || inflateReset(&stream_) != Z_OK) return "zlib cannot start";
        // One spare output byte shows a stream that would decode to more than declared.
        unsigned char spare = 0;
        stream_.next_in = const_cast<unsigned char*>(in);
        stream_.avail_in = static_cast<uInt>(inSize);
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(expected);
        int result = inflate(&stream_, Z_FINISH);
        if (result == Z_BUF_ERROR && stream_.avail_out == 0) {
            stream_.next_out = &spare;
            stream_.avail_out = 1;
            result = inflate(&stream_, Z_FINISH);
        }
        size_t produced = stream_.total_out;
        if (result == Z_STREAM_END && produced == expected) return {};
        if (produced > expected)
            return "zlib data decodes to more than the chunk's decompressed size";
        if (result == Z_DATA_ERROR)
            return std::string("zlib data is damaged (") + (stream_.msg ? stream_.msg : "") + ")";
        if (result == Z_STREAM_END) return "zlib data ends before the chunk's decompressed size";
        return "zlib data runs out of input";
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

// libdeflate decodes a sound chunk about twice as fast as zlib; a chunk it refuses goes to zlib,
// which says what is wrong with it.
class FastInflater {
public:
    FastInflater() : decompressor_(libdeflate_alloc_decompressor()) {}
    ~FastInflater() {
        if (decompressor_) libdeflate_free_decompressor(decompressor_);
    }
    FastInflater(const FastInflater&) = delete;
    FastInflater& operator=(const FastInflater&) = delete;

    bool Run(const unsigned char* in, size_t inSize, unsigned char* out, size_t expected) {
        size_t used = 0, produced = 0;
        return decompressor_ &&
               libdeflate_zlib_decompress_ex(decompressor_, in, inSize, out, expected, &used,
                                             &produced) == LIBDEFLATE_SUCCESS &&
               produced == expected;
    }

private:
    libdeflate_decompressor* decompressor_;
};

}  // namespace

std::string InflateChunk(const unsigned char* in, size_t inSize, unsigned char* out,
                         size_t expected) {
    static thread_local FastInflater fast;
    if (fast.Run(in, inSize, out, expected)) return {};
    static thread_local Inflater inflater;
    return inflater.Run(in, inSize, out, expected);
}

}  // namespace kelmora
