// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/HpiWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "hpi/AtomicFile.h"
#include "hpi/ChunkPipeline.h"
#include "hpi/HpiReader.h"
#include "hpi/Lz77.h"
#include "hpi/Windows1252.h"
#include "platform/PathMapping.h"

namespace kelmora {
namespace fs = std::filesystem;
using namespace hpi;

namespace {

std::string Quoted(std::string_view path) {
    return "'" + PrintableName(path) + "'";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const fs::path& path) {
#ifdef _WIN32
    return FilePtr(::_wfopen(path.c_str(), L"rb"));
#else
    return FilePtr(std::fopen(path.c_str(), "rb"));
#endif
}

// Gathers the archive's bytes into writes of about a megabyte: an archive of many small files
// would otherwise cost several system calls per file. A chunk table still in the buffer is
// filled in there; one already written is written again in place.
class OutputBuffer {
public:
    OutputBuffer(AtomicFile& out, std::uint64_t start) : out_(out), start_(start) {
        bytes_.reserve(kCapacity);
    }

    void Append(const unsigned char* data, size_t size) {
        if (bytes_.size() + size > kCapacity) Flush();
        if (size >= kCapacity) {
            out_.Write(data, size);
            start_ += size;
        } else {
            bytes_.insert(bytes_.end(), data, data + size);
        }
    }
    // Overwrites bytes written earlier at `at`, which lie wholly before the end.
    void Patch(std::uint64_t at, const unsigned char* data, size_t size) {
        if (at >= start_) {
            std::memcpy(bytes_.data() + (at - start_), data, size);
            return;
        }
        Flush();
        out_.Seek(at);
        out_.Write(data, size);
        out_.Seek(start_);
    }
    void Flush() {
        if (bytes_.empty()) return;
        out_.Write(bytes_.data(), bytes_.size());
        start_ += bytes_.size();
        bytes_.clear();
    }

private:
    static constexpr size_t kCapacity = 1 << 20;
    AtomicFile& out_;
    std::uint64_t start_;  // the file offset of bytes_[0]
    std::vector<unsigned char> bytes_;
};

unsigned PackingThreads(std::uint64_t chunks) {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::clamp<std::uint64_t>(chunks, 1, cores));
}

std::int32_t Clamp(std::uint64_t value) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(value, INT32_MAX));
}

}  // namespace

HpiWriter::HpiWriter() {
    Node root;
    root.directory = true;
    nodes_.push_back(std::move(root));
}

std::int32_t HpiWriter::Resolve(std::string_view path, bool lastIsDirectory) {
    std::string_view rest = path;
    if (lastIsDirectory && !rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    if (rest.empty()) throw HpiError(Quoted(path) + ": the entry name is empty");

    // Every name is checked before anything is added, so a refused path adds nothing.
    std::vector<std::pair<std::string_view, std::string>> names;  // UTF-8, Windows-1252
    while (true) {
        size_t cut = rest.find('\\');
        std::string_view name = rest.substr(0, cut);
        std::optional<std::string> stored = Utf8ToWindows1252(name);
        if (!stored) {
            throw HpiError(Quoted(path) + ": '" + PrintableName(name) +
                           "' holds a character the archive's names (Windows-1252) cannot hold");
        }
        if (std::string reason = UnsafeNameReason(*stored); !reason.empty()) {
            throw HpiError(Quoted(path) + ": cannot be an archive entry: " + reason);
        }
        names.emplace_back(name, std::move(*stored));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }

    std::int32_t parent = 0;
    std::string prefix;
    for (size_t i = 0; i < names.size(); ++i) {
        bool directory = i + 1 < names.size() || lastIsDirectory;
        prefix += (prefix.empty() ? "" : "\\") + std::string(names[i].first);
        std::string key = LowerCase(prefix);
        auto found = byPath_.find(key);
        if (found != byPath_.end()) {
            // Only existing entries come before the first new one, so a clash here has added
            // nothing.
            const Node& existing = nodes_[found->second];
            if (!directory || !existing.directory) {
                throw HpiError(Quoted(path) + ": the archive already holds " +
                               (existing.directory ? "a directory " : "a file ") +
                               Quoted(existing.path));
            }
            parent = found->second;
            continue;
        }
        Node node;
        node.storedName = std::move(names[i].second);
        node.path = prefix;
        node.directory = directory;
        auto index = static_cast<std::int32_t>(nodes_.size());
        nodes_.push_back(std::move(node));
        nodes_[parent].children.push_back(index);
        byPath_.emplace(std::move(key), index);
        parent = index;
    }
    return parent;
}

void HpiWriter::AddDirectory(std::string_view path) {
    Resolve(path, true);
}

void HpiWriter::AddFile(std::string_view path, fs::path source, std::string sourceLabel) {
    Node& node = nodes_[Resolve(path, false)];
    node.sourceLabel = sourceLabel.empty() ? source.string() : std::move(sourceLabel);
    node.source = std::move(source);
}

void HpiWriter::AddFileFromMemory(std::string_view path, std::string content) {
    Node& node = nodes_[Resolve(path, false)];
    node.fromMemory = true;
    node.content = std::move(content);
}

void HpiWriter::Write(const fs::path& target, Compression compression, const HpiCallback& progress,
                      std::string displayName) const {
    if (displayName.empty()) displayName = target.filename().string();
    auto fail = [&](const std::string& what) -> void {
        throw HpiError(displayName + ": not written: " + what);
    };

    // The directory block: every offset is known before any data is written.
    struct Place {
        std::uint32_t name = 0, record = 0, list = 0;
    };
    std::vector<Place> places(nodes_.size());
    std::vector<std::int32_t> files;  // depth-first order, the order of their data
    std::uint64_t end = kHeaderSize;
    std::function<void(std::int32_t)> layDirectory = [&](std::int32_t index) {
        const Node& directory = nodes_[index];
        places[index].list = static_cast<std::uint32_t>(end);
        end += directory.children.size() * kEntrySize;
        for (std::int32_t child : directory.children) {
            const Node& node = nodes_[child];
            places[child].name = static_cast<std::uint32_t>(end);
            end += node.storedName.size() + 1;
            places[child].record = static_cast<std::uint32_t>(end);
            if (node.directory) {
                end += kDirectoryRecordSize;
                layDirectory(child);
            } else {
                end += kFileRecordSize;
                files.push_back(child);
            }
            if (end > UINT32_MAX) fail("the directory would pass 4 GiB");
        }
    };
    places[0].record = kHeaderSize;
    end += kDirectoryRecordSize;
    layDirectory(0);
    const auto directoryEnd = static_cast<std::uint32_t>(end);

    std::vector<unsigned char> block(directoryEnd);
    std::memcpy(block.data() + kHeaderMarker, kMarker, 4);
    WriteU32(&block[kHeaderVersion], kVersion1);
    WriteU32(&block[kHeaderDirectoryEnd], directoryEnd);
    WriteU32(&block[kHeaderKey], 0);
    WriteU32(&block[kHeaderDirectoryStart], kHeaderSize);
    for (size_t index = 0; index < nodes_.size(); ++index) {
        const Node& node = nodes_[index];
        const Place& place = places[index];
        if (index > 0)
            std::memcpy(&block[place.name], node.storedName.data(), node.storedName.size());
        if (!node.directory) continue;
        WriteU32(&block[place.record + kDirectoryCount],
                 static_cast<std::uint32_t>(node.children.size()));
        WriteU32(&block[place.record + kDirectoryEntries], place.list);
        for (size_t i = 0; i < node.children.size(); ++i) {
            std::int32_t child = node.children[i];
            unsigned char* entry = &block[place.list + i * kEntrySize];
            WriteU32(entry + kEntryName, places[child].name);
            WriteU32(entry + kEntryRecord, places[child].record);
            entry[kEntryKind] = nodes_[child].directory ? kKindDirectory : kKindFile;
        }
    }

    // Sizes first: a missing source fails the pack before anything is written.
    std::vector<std::uint64_t> sizes;
    std::uint64_t totalBytes = 0;
    for (std::int32_t index : files) {
        const Node& node = nodes_[index];
        std::uint64_t size = node.content.size();
        if (!node.fromMemory) {
            std::error_code ec;
            size = fs::file_size(node.source, ec);
            if (ec)
                fail("cannot read " + Quoted(node.sourceLabel) + " for " + Quoted(node.path) +
                     ": " + ec.message());
        }
        if (size > UINT32_MAX) fail(Quoted(node.path) + " is 4 GiB or larger");
        sizes.push_back(size);
        totalBytes += size;
    }

    // Progress in work units that fit 32 bits: one per byte, plus one per file and one for the
    // directory, so the total is never 0.
    HpiProgress report;
    const std::uint64_t totalWork = totalBytes + files.size() + 1;
    const std::uint64_t unit = (totalWork + INT32_MAX - 1) / INT32_MAX;
    std::uint64_t workDone = 0;
    report.filesTotal = Clamp(files.size());
    report.total = static_cast<std::int32_t>((totalWork + unit - 1) / unit);
    auto tell = [&](std::uint64_t work) {
        workDone += work;
        if (!progress) return;
        report.done =
            static_cast<std::int32_t>(workDone == totalWork ? report.total : workDone / unit);
        progress(report);
    };

    try {
        AtomicFile file(target);
        std::uint64_t position = directoryEnd;
        file.Seek(position);
        OutputBuffer out(file, position);
        std::uint64_t totalChunks = 0;
        for (std::uint64_t size : sizes) totalChunks += (size + kChunkSize - 1) / kChunkSize;
        ChunkPipeline pipeline(compression, PackingThreads(totalChunks));
        std::vector<unsigned char> table;
        const bool chunked = compression != Compression::kStored;

        // The archive is written in order on this thread: file records, chunk tables, chunks,
        // progress, as the chunks come back from the pipeline.
        size_t writing = 0;  // the file being written
        bool begun = false;  // whether its record and table are out
        std::uint64_t tableAt = 0;
        auto chunkCount = [&](size_t f) {
            return static_cast<std::uint32_t>((sizes[f] + kChunkSize - 1) / kChunkSize);
        };
        auto begin = [&] {
            const std::uint32_t record = places[files[writing]].record;
            WriteU32(&block[record + kFileData], static_cast<std::uint32_t>(position));
            WriteU32(&block[record + kFileSize], static_cast<std::uint32_t>(sizes[writing]));
            block[record + kFileCompression] = static_cast<unsigned char>(compression);
            report.fileBytesTotal = Clamp(sizes[writing]);
            report.fileBytesDone = 0;
            tableAt = position;
            if (chunked) {
                table.assign(std::uint64_t{chunkCount(writing)} * 4, 0);
                out.Append(table.data(), table.size());
                position += table.size();
            }
            begun = true;
        };
        auto finish = [&] {
            if (chunked && chunkCount(writing) > 0) {
                out.Patch(tableAt, table.data(), table.size());
            }
            report.filesDone = Clamp(writing + 1);
            ++writing;
            begun = false;
            tell(1);
        };
        // Writes the files before `file` that have no chunks, and begins `file`.
        auto reach = [&](size_t file) {
            while (true) {
                if (!begun) begin();
                if (writing == file) return;
                finish();
            }
        };
        auto writeOldest = [&] {
            ChunkJob& job = pipeline.Oldest();
            reach(job.file);
            if (job.packedSize == 0) {
                fail((compression == Compression::kZlib ? "zlib" : "LZ77") +
                     std::string(" cannot compress ") + Quoted(nodes_[files[job.file]].path));
            }
            out.Append(job.packed.data(), job.packedSize);
            if (chunked)
                WriteU32(&table[job.chunk * 4], static_cast<std::uint32_t>(job.packedSize));
            position += job.packedSize;
            if (position > UINT32_MAX) fail("the archive would pass 4 GiB");
            const size_t size = job.size;
            const bool last = job.chunk + 1 == chunkCount(job.file);
            report.fileBytesDone = Clamp(std::uint64_t{job.chunk} * kChunkSize + size);
            pipeline.Release();
            tell(size);
            if (last) finish();
        };

        for (size_t f = 0; f < files.size(); ++f) {
            const Node& node = nodes_[files[f]];
            const std::uint64_t size = sizes[f];
            if (size == 0) continue;
            FilePtr source;
            if (!node.fromMemory) {
                source = OpenForReading(node.source);
                if (!source)
                    fail("cannot read " + Quoted(node.sourceLabel) + ": " + std::strerror(errno));
            }
            std::uint64_t read = 0;
            for (std::uint32_t i = 0; read < size; ++i) {
                if (pipeline.full()) writeOldest();
                ChunkJob& job = pipeline.Next();
                size_t want = static_cast<size_t>(std::min<std::uint64_t>(kChunkSize, size - read));
                if (node.fromMemory) {
                    std::memcpy(job.input.data(), node.content.data() + read, want);
                } else if (std::fread(job.input.data(), 1, want, source.get()) != want) {
                    fail("cannot read " + Quoted(node.sourceLabel) + ": " +
                         (std::ferror(source.get()) ? std::strerror(errno)
                                                    : "it became shorter while being packed"));
                }
                read += want;
                job.file = f;
                job.chunk = i;
                job.size = want;
                pipeline.Submit();
            }
        }
        while (!pipeline.empty()) writeOldest();
        while (writing < files.size()) {
            if (!begun) begin();
            finish();
        }

        out.Flush();
        file.Seek(0);
        file.Write(block.data(), block.size());
        tell(1);
        file.Commit();
    } catch (const std::system_error& error) {
        throw HpiError(displayName + ": not written: " + error.what(), error.code());
    }
}

}  // namespace kelmora
