// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/ChunkPipeline.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "hpi/Lz77.h"

namespace kelmora {
using namespace hpi;

ChunkPipeline::ChunkPipeline(Compression compression, unsigned threads)
    : compression_(compression), slots_(std::max(4u, 4 * threads)) {
    // Room for the worst case of either encoder: LZ77 spends a tag bit per literal.
    const size_t room = kChunkHeaderSize + kChunkSize + kChunkSize / 8 + 64;
    for (ChunkJob& job : slots_) {
        job.input.resize(kChunkSize);
        job.packed.resize(room);
    }
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void ChunkPipeline::Submit() {
    {
        std::lock_guard lock(mutex_);
        ChunkJob& job = Next();
        job.done = false;
        pending_.push_back(&job);
        ++queued_;
    }
    wake_.notify_one();
}

ChunkJob& ChunkPipeline::Oldest() {
    ChunkJob& job = slots_[oldest_];
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return job.done; });
    return job;
}

void ChunkPipeline::Release() {
    std::lock_guard lock(mutex_);
    oldest_ = (oldest_ + 1) % slots_.size();
    --queued_;
}

void ChunkPipeline::Work() {
    libdeflate_compressor* compressor =
        compression_ == Compression::kZlib ? libdeflate_alloc_compressor(6) : nullptr;
    while (true) {
        ChunkJob* job = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (stopping_) break;
            job = pending_.front();
            pending_.pop_front();
        }
        try {
            Encode(*job, compressor);
        } catch (...) {  // out of memory: reported as a chunk that could not be encoded
            job->packedSize = 0;
        }
        {
            std::lock_guard lock(mutex_);
            job->done = true;
        }
        finished_.notify_one();
    }
    if (compressor) libdeflate_free_compressor(compressor);
}

void ChunkPipeline::Encode(ChunkJob& job, libdeflate_compressor* compressor) const {
    if (compression_ == Compression::kStored) {
        std::memcpy(job.packed.data(), job.input.data(), job.size);
        job.packedSize = job.size;
        return;
    }
    unsigned char* payload = job.packed.data() + kChunkHeaderSize;
    const size_t room = job.packed.size() - kChunkHeaderSize;
    size_t payloadSize = 0;
    if (compression_ == Compression::kZlib) {
        payloadSize = compressor ? libdeflate_zlib_compress(compressor, job.input.data(), job.size,
                                                            payload, room)
                                 : 0;
    } else {
        std::vector<unsigned char> encoded = lz77::Encode(job.input.data(), job.size);
        if (encoded.size() <= room) {
            std::memcpy(payload, encoded.data(), encoded.size());
            payloadSize = encoded.size();
        }
    }
    job.packedSize = 0;
    if (payloadSize == 0) return;
    EncodeChunkCipher(payload, payloadSize);
    unsigned char* header = job.packed.data();
    std::memcpy(header + kChunkMarker, kChunkMarkerBytes, 4);
    header[kChunkFormat] = kChunkFormatValue;
    header[kChunkMethod] = static_cast<unsigned char>(compression_);
    header[kChunkCipher] = 1;
    WriteU32(header + kChunkCompressedSize, static_cast<std::uint32_t>(payloadSize));
    WriteU32(header + kChunkDecompressedSize, static_cast<std::uint32_t>(job.size));
    WriteU32(header + kChunkChecksum, ByteSum(payload, payloadSize));
    job.packedSize = kChunkHeaderSize + payloadSize;
}

}  // namespace kelmora
