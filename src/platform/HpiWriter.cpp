#include "platform/HpiWriter.h"

#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/HpiReader.h"
#include "platform/Lz77.h"
#include "platform/PathMapping.h"
#include "platform/Windows1252.h"

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

// One zlib deflater at the default level (the packers' "78 9C" streams), reset for every chunk.
class Deflater {
public:
    Deflater() { ready_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater() {
        if (ready_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `size` bytes into `out` (room for compressBound(size) bytes); the length, or 0.
    size_t Run(const unsigned char* in, size_t size, unsigned char* out, size_t room) {
        if (!ready_ || deflateReset(&stream_) != Z_OK) return 0;
        stream_.next_in = const_cast<unsigned char*>(in);
        stream_.avail_in = static_cast<uInt>(size);
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(room);
        return deflate(&stream_, Z_FINISH) == Z_STREAM_END ? room - stream_.avail_out : 0;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

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
        AtomicFile out(target);
        std::uint64_t position = directoryEnd;
        out.Seek(position);
        std::vector<unsigned char> input(kChunkSize);
        std::vector<unsigned char> packed(compressBound(kChunkSize) + kChunkHeaderSize);
        std::vector<unsigned char> table;
        Deflater deflater;

        for (size_t f = 0; f < files.size(); ++f) {
            const Node& node = nodes_[files[f]];
            const std::uint64_t size = sizes[f];
            WriteU32(&block[places[files[f]].record + kFileData],
                     static_cast<std::uint32_t>(position));
            WriteU32(&block[places[files[f]].record + kFileSize], static_cast<std::uint32_t>(size));
            block[places[files[f]].record + kFileCompression] =
                static_cast<unsigned char>(compression);
            report.fileBytesTotal = Clamp(size);
            report.fileBytesDone = 0;

            FilePtr source;
            if (!node.fromMemory) {
                source = OpenForReading(node.source);
                if (!source)
                    fail("cannot read " + Quoted(node.sourceLabel) + ": " + std::strerror(errno));
            }
            std::uint64_t read = 0;
            auto readPiece = [&](size_t want) {
                if (node.fromMemory) {
                    std::memcpy(input.data(), node.content.data() + read, want);
                } else if (std::fread(input.data(), 1, want, source.get()) != want) {
                    fail("cannot read " + Quoted(node.sourceLabel) + ": " +
                         (std::ferror(source.get()) ? std::strerror(errno)
                                                    : "it became shorter while being packed"));
                }
                read += want;
            };

            const std::uint32_t chunks =
                static_cast<std::uint32_t>((size + kChunkSize - 1) / kChunkSize);
            const std::uint64_t tableAt = position;
            if (compression != Compression::kStored) {
                table.assign(std::uint64_t{chunks} * 4, 0);
                out.Write(table.data(), table.size());
                position += table.size();
            }
            for (std::uint32_t i = 0; read < size; ++i) {
                size_t want = static_cast<size_t>(std::min<std::uint64_t>(kChunkSize, size - read));
                readPiece(want);
                if (compression == Compression::kStored) {
                    out.Write(input.data(), want);
                    position += want;
                } else {
                    unsigned char* payload = packed.data() + kChunkHeaderSize;
                    size_t payloadSize = 0;
                    if (compression == Compression::kZlib) {
                        payloadSize = deflater.Run(input.data(), want, payload,
                                                   packed.size() - kChunkHeaderSize);
                        if (payloadSize == 0) fail("zlib cannot compress " + Quoted(node.path));
                    } else {
                        std::vector<unsigned char> encoded = lz77::Encode(input.data(), want);
                        if (encoded.size() + kChunkHeaderSize > packed.size())
                            packed.resize(encoded.size() + kChunkHeaderSize);
                        payload = packed.data() + kChunkHeaderSize;
                        std::memcpy(payload, encoded.data(), encoded.size());
                        payloadSize = encoded.size();
                    }
                    EncodeChunkCipher(payload, payloadSize);
                    unsigned char* header = packed.data();
                    std::memcpy(header + kChunkMarker, kChunkMarkerBytes, 4);
                    header[kChunkFormat] = kChunkFormatValue;
                    header[kChunkMethod] = static_cast<unsigned char>(compression);
                    header[kChunkCipher] = 1;
                    WriteU32(header + kChunkCompressedSize,
                             static_cast<std::uint32_t>(payloadSize));
                    WriteU32(header + kChunkDecompressedSize, static_cast<std::uint32_t>(want));
                    WriteU32(header + kChunkChecksum, ByteSum(payload, payloadSize));
                    size_t length = kChunkHeaderSize + payloadSize;
                    WriteU32(&table[i * 4], static_cast<std::uint32_t>(length));
                    out.Write(packed.data(), length);
                    position += length;
                }
                if (position > UINT32_MAX) fail("the archive would pass 4 GiB");
                report.fileBytesDone = Clamp(read);
                tell(want);
            }
            if (compression != Compression::kStored && chunks > 0) {
                out.Seek(tableAt);
                out.Write(table.data(), table.size());
                out.Seek(position);
            }
            report.filesDone = Clamp(f + 1);
            tell(1);
        }

        out.Seek(0);
        out.Write(block.data(), block.size());
        tell(1);
        out.Commit();
    } catch (const std::system_error& error) {
        fail(error.what());
    }
}

}  // namespace kelmora
