// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "hpi/HpiFormat.h"

struct libdeflate_compressor;

namespace kelmora {

// One chunk on its way through the compressing threads.
struct ChunkJob {
    size_t file = 0;          // index into the files being written
    std::uint32_t chunk = 0;  // number within its file
    size_t size = 0;          // input bytes
    std::vector<unsigned char> input;
    std::vector<unsigned char> packed;  // chunk header and payload, or the stored bytes
    size_t packedSize = 0;              // 0: the encoder failed
    bool done = false;
};

// Encodes chunks on a pool of threads while the calling thread reads the sources and writes the
// archive: chunks go in and come back out in the same order, and only a few per thread are held
// at any time, so memory stays bounded whatever the archive's size. libdeflate at level 6 writes
// the same zlib format as zlib's default level ("78 9C", Adler-32) at about twice the speed and
// within a fraction of a percent of its size.
class ChunkPipeline {
public:
    ChunkPipeline(hpi::Compression compression, unsigned threads);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    bool full() const { return queued_ == slots_.size(); }
    bool empty() const { return queued_ == 0; }
    // The slot to fill next; only when not full().
    ChunkJob& Next() { return slots_[(oldest_ + queued_) % slots_.size()]; }
    // Hands the slot returned by Next() to the threads.
    void Submit();
    // Waits for the oldest submitted chunk; it stays valid until Release().
    ChunkJob& Oldest();
    void Release();

private:
    void Work();
    void Encode(ChunkJob& job, libdeflate_compressor* compressor) const;

    const hpi::Compression compression_;
    std::vector<ChunkJob> slots_;
    size_t oldest_ = 0;  // slots_[oldest_] is the oldest submitted chunk
    size_t queued_ = 0;  // submitted and not yet released; touched by the calling thread only
    std::deque<ChunkJob*> pending_;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> threads_;
};

}  // namespace kelmora
