// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/HpiReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <unordered_set>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif
#include <fcntl.h>

#include "hpi/AtomicFile.h"
#include "hpi/ByteSources.h"
#include "hpi/Inflate.h"
#include "hpi/Lz77.h"
#include "hpi/Windows1252.h"
#include "platform/FaultInjection.h"
#include "platform/PathMapping.h"

namespace kelmora {
namespace fs = std::filesystem;
using namespace hpi;

namespace {

std::string Quoted(std::string_view path) {
    return "'" + PrintableName(path) + "'";
}

std::string DirectoryLabel(const std::string& path) {
    return path.empty() ? std::string("the root directory") : "directory " + Quoted(path);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// A file created only if nothing of its name exists, written in place and removed again unless
// committed: a failed extraction leaves no partial file where there was none.
class NewFile {
public:
    explicit NewFile(fs::path path) : path_(std::move(path)) {
        if (faults::CheckErrno(faults::Op::kCreateFile, path_)) {
            if (errno != EEXIST) ThrowErrno("cannot create '" + path_.string() + "'");
            return;
        }
#ifdef _WIN32
        fd_ = ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                       _S_IREAD | _S_IWRITE);
#else
        do {
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EINTR);
#endif
        if (fd_ < 0 && errno != EEXIST) ThrowErrno("cannot create '" + path_.string() + "'");
        created_ = fd_ >= 0;
    }
    ~NewFile() {
        if (!created_ || committed_) return;
        Close();
        std::error_code ec;
        fs::remove(path_, ec);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // False when the name exists already.
    bool created() const {
        return created_;
    }

    void Write(const unsigned char* data, size_t size) {
        while (size > 0) {
#ifdef _WIN32
            long long written =
                faults::CheckErrno(faults::Op::kWrite, path_)
                    ? -1
                    : ::_write(fd_, data, static_cast<unsigned>(std::min<size_t>(size, 1 << 30)));
#else
            long long written =
                faults::CheckErrno(faults::Op::kWrite, path_) ? -1 : ::write(fd_, data, size);
#endif
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) ThrowErrno("cannot write '" + path_.string() + "'");
            data += written;
            size -= static_cast<size_t>(written);
        }
    }

    void Commit() {
        int closed = Close();
        if (faults::CheckErrno(faults::Op::kCloseFile, path_)) closed = -1;
        if (closed != 0) ThrowErrno("cannot close '" + path_.string() + "'");
        committed_ = true;
    }

private:
    int Close() {
        if (fd_ < 0) return 0;
#ifdef _WIN32
        int result = ::_close(fd_);
#else
        int result = ::close(fd_);
#endif
        fd_ = -1;
        return result;
    }

    fs::path path_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

}  // namespace

HpiReader::HpiReader(std::unique_ptr<ByteSource> source, std::string displayName)
    : source_(std::move(source)), displayName_(std::move(displayName)) {
    fileSize_ = source_->size();
}

HpiReader::HpiReader(HpiReader&&) noexcept = default;
HpiReader& HpiReader::operator=(HpiReader&&) noexcept = default;
HpiReader::~HpiReader() = default;

HpiReader HpiReader::Open(const fs::path& path, std::string displayName) {
    if (displayName.empty()) displayName = path.filename().string();
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw HpiError(displayName + ": cannot open: it is a folder");
    auto source = OpenFileSource(path, displayName);
    return FromSource(std::move(source), std::move(displayName));
}

HpiReader HpiReader::FromMemory(std::string bytes, std::string displayName) {
    return FromSource(MemorySource(std::move(bytes)), std::move(displayName));
}

HpiReader HpiReader::FromSource(std::unique_ptr<ByteSource> source, std::string displayName) {
    HpiReader reader(std::move(source), std::move(displayName));
    reader.ReadHeader();
    reader.ReadDirectory();
    return reader;
}

void HpiReader::Fail(const std::string& what) const {
    throw HpiError(displayName_ + " is damaged: " + what);
}

void HpiReader::Refuse(const std::string& what) const {
    throw HpiError(displayName_ + ": " + what);
}

void HpiReader::ReadAt(std::uint64_t offset, unsigned char* out, size_t size) const {
    if (offset > fileSize_ || size > fileSize_ - offset) Fail("read past the end of the file");
    // An empty chunk payload reads nothing, and its buffer may be null.
    if (size == 0) return;
    source_->Read(offset, out, size);
    if (headerKey_ != 0) ApplyHeaderCipher(cipherByte_, offset, out, size);
}

void HpiReader::ReadHeader() {
    if (fileSize_ < 4)
        Refuse("not an HPI archive: the file is only " + std::to_string(fileSize_) + " bytes long");
    unsigned char header[kHeaderSize];
    source_->Read(0, header, 4);
    if (std::memcmp(header + kHeaderMarker, kSavedGameMarker, 4) == 0) {
        Refuse("this is a saved game ('BANK'), not an HPI archive");
    }
    if (std::memcmp(header + kHeaderMarker, kMarker, 4) != 0)
        Refuse("not an HPI archive (no 'HAPI' marker)");
    if (fileSize_ < kHeaderSize)
        Fail("the HPI header is cut short: the file is only " + std::to_string(fileSize_) +
             " bytes long");
    source_->Read(0, header, kHeaderSize);
    std::uint32_t version = ReadU32(header + kHeaderVersion);
    if (version == kVersion2) {
        Refuse(
            "HPI version 2 (0x00020000) is a later game's format, which this program cannot read");
    }
    if (version != kVersion1)
        Refuse("unknown HPI version " + Hex(version) + "; only version 1 (0x10000) can be read");
    directoryEnd_ = ReadU32(header + kHeaderDirectoryEnd);
    headerKey_ = ReadU32(header + kHeaderKey);
    directoryStart_ = ReadU32(header + kHeaderDirectoryStart);
    cipherByte_ = HeaderCipherByte(headerKey_);
    if (directoryEnd_ > fileSize_) {
        Fail("the directory block ends at offset " + std::to_string(directoryEnd_) +
             ", past the end of the file (" + std::to_string(fileSize_) + " bytes)");
    }
    if (directoryEnd_ < kHeaderSize + kDirectoryRecordSize) {
        Fail("the directory block ends at offset " + std::to_string(directoryEnd_) +
             ", too early to hold the root directory");
    }
}

void HpiReader::ReadDirectory() {
    // The whole directory block, deciphered, is checked and parsed in memory.
    std::vector<unsigned char> block(directoryEnd_);
    ReadAt(0, block.data(), block.size());
    const std::uint64_t blockEnd = directoryEnd_;

    // Where a structure of `size` bytes at `offset` lies outside the block, what to say.
    auto outside = [&](std::uint64_t offset, std::uint64_t size) -> std::string {
        if (offset < kHeaderSize) return "lies inside the header";
        if (offset + size > fileSize_) return "runs past the end of the file";
        if (offset + size > blockEnd) return "runs past the end of the directory block";
        return {};
    };

    // Sound archives hold at most one entry per 9 bytes of directory block, and their full paths
    // are short; these caps keep a hostile file from making the reader allocate without bound.
    const std::uint64_t maxEntries = blockEnd / kEntrySize;
    const std::uint64_t maxPathBytes = 8 * blockEnd + (1u << 20);
    std::uint64_t pathBytes = 0;

    struct Frame {
        std::uint32_t record;
        std::int32_t entry;  // the directory's own entry, -1 for the root
        std::uint32_t count;
        std::uint32_t list;
        std::uint32_t next = 0;
    };
    std::vector<Frame> stack;
    std::unordered_set<std::uint32_t> usedRecords;

    auto pushDirectory = [&](std::uint32_t record, std::int32_t entry) {
        const std::string& path = entry < 0 ? std::string() : entries_[entry].path;
        std::string label =
            entry < 0 ? "the root directory record" : "the directory record of " + Quoted(path);
        if (auto problem = outside(record, kDirectoryRecordSize); !problem.empty())
            Fail(label + " " + problem);
        if (!usedRecords.insert(record).second) {
            for (const Frame& frame : stack) {
                if (frame.record == record) {
                    Fail(DirectoryLabel(path) + " refers back to " +
                         (frame.entry < 0 ? std::string("the root directory")
                                          : DirectoryLabel(entries_[frame.entry].path)) +
                         ", which holds it (a directory cycle)");
                }
            }
            Fail(DirectoryLabel(path) + " uses a directory record that another directory uses too");
        }
        std::uint32_t count = ReadU32(&block[record + kDirectoryCount]);
        std::uint32_t list = ReadU32(&block[record + kDirectoryEntries]);
        if (count > maxEntries) {
            Fail(DirectoryLabel(path) + " claims " + std::to_string(count) +
                 " entries, more than the directory block can hold");
        }
        if (count > 0) {
            if (auto problem = outside(list, std::uint64_t{count} * kEntrySize); !problem.empty()) {
                Fail("the entry list of " + DirectoryLabel(path) + " " + problem);
            }
        }
        stack.push_back({record, entry, count, list});
    };

    if (directoryStart_ < kHeaderSize) Fail("the root directory record lies inside the header");
    pushDirectory(directoryStart_, -1);

    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.count) {
            stack.pop_back();
            continue;
        }
        std::uint32_t number = frame.next++;
        std::int32_t parent = frame.entry;
        const unsigned char* raw = &block[frame.list + std::uint64_t{number} * kEntrySize];
        std::uint32_t nameOffset = ReadU32(raw + kEntryName);
        std::uint32_t recordOffset = ReadU32(raw + kEntryRecord);
        std::uint8_t kind = raw[kEntryKind];
        const std::string parentPath = parent < 0 ? std::string() : entries_[parent].path;
        std::string where =
            "entry " + std::to_string(number + 1) + " of " + DirectoryLabel(parentPath);

        if (entries_.size() >= maxEntries)
            Fail("the archive claims more entries than its directory block can hold");
        if (kind != kKindFile && kind != kKindDirectory) {
            Fail(where + " has kind " + std::to_string(kind) +
                 ", neither file (0) nor directory (1)");
        }

        // The name: NUL-terminated inside the block; a name longer than any file system takes is
        // kept cut to 255 bytes and marked unsafe.
        if (auto problem = outside(nameOffset, 1); !problem.empty())
            Fail("the name of " + where + " " + problem);
        std::uint64_t scanEnd =
            std::min<std::uint64_t>(blockEnd, std::uint64_t{nameOffset} + kMaxNameLength + 1);
        std::uint64_t nul = nameOffset;
        while (nul < scanEnd && block[nul] != 0) ++nul;
        if (nul == blockEnd)
            Fail("the name of " + where + " runs past the end of the directory block");
        const bool tooLong = nul - nameOffset > kMaxNameLength;
        std::string stored(reinterpret_cast<const char*>(&block[nameOffset]),
                           tooLong ? kMaxNameLength : nul - nameOffset);

        HpiEntry entry;
        entry.storedName = stored;
        entry.name = Windows1252ToUtf8(stored);
        entry.path = parent < 0 ? entry.name : parentPath + "\\" + entry.name;
        entry.directory = kind == kKindDirectory;
        entry.parent = parent;
        entry.unsafeReason =
            tooLong ? "the name is longer than 255 bytes" : UnsafeNameReason(stored);
        if (entry.unsafeReason.empty() && parent >= 0 && !entries_[parent].safe()) {
            entry.unsafeReason = "it lies in " + DirectoryLabel(parentPath) + ", which is unsafe";
        }
        pathBytes += entry.path.size() + entry.name.size() + stored.size();
        if (pathBytes > maxPathBytes) {
            Fail(
                "the entries' names and paths take far more room than the directory block could "
                "hold "
                "(names shared between entries, or directories nested without end)");
        }

        if (!entry.directory) {
            std::string label = "the file record of " + Quoted(entry.path);
            if (auto problem = outside(recordOffset, kFileRecordSize); !problem.empty())
                Fail(label + " " + problem);
            entry.dataOffset = ReadU32(&block[recordOffset + kFileData]);
            entry.size = ReadU32(&block[recordOffset + kFileSize]);
            std::uint8_t compression = block[recordOffset + kFileCompression];
            if (compression > static_cast<std::uint8_t>(Compression::kZlib)) {
                Fail(Quoted(entry.path) + " uses an unknown compression (" +
                     std::to_string(compression) + ")");
            }
            entry.compression = static_cast<Compression>(compression);
            std::uint64_t needed =
                entry.compression == Compression::kStored
                    ? entry.size
                    : 4 * ((std::uint64_t{entry.size} + kChunkSize - 1) / kChunkSize);
            std::string what =
                entry.compression == Compression::kStored ? "the data of " : "the chunk table of ";
            if (needed > 0 && entry.dataOffset < kHeaderSize)
                Fail(what + Quoted(entry.path) + " lies inside the header");
            if (needed > 0 && entry.dataOffset + needed > fileSize_) {
                Fail(what + Quoted(entry.path) + " runs past the end of the file");
            }
        }

        auto index = static_cast<std::int32_t>(entries_.size());
        auto [slot, inserted] = index_.emplace(LowerCase(entry.path), index);
        if (!inserted && entry.unsafeReason.empty()) {
            entry.unsafeReason = "another entry before it has the same path (letter case aside)";
        }
        entries_.push_back(std::move(entry));
        if (entries_.back().directory) pushDirectory(recordOffset, index);
    }
}

const HpiEntry* HpiReader::Find(std::string_view path) const {
    auto it = index_.find(LowerCase(path));
    return it == index_.end() ? nullptr : &entries_[it->second];
}

void HpiReader::Extract(const HpiEntry& entry, const Sink& sink) const {
    const std::string name = Quoted(entry.path);
    if (!entry.safe()) Fail(name + " is not extracted: " + entry.unsafeReason);
    if (entry.directory) Fail(name + " is a directory, not a file");
    if (entry.size == 0) return;

    if (entry.compression == Compression::kStored) {
        std::vector<unsigned char> buffer(std::min<std::uint32_t>(entry.size, kChunkSize));
        for (std::uint64_t done = 0; done < entry.size;) {
            size_t piece =
                static_cast<size_t>(std::min<std::uint64_t>(buffer.size(), entry.size - done));
            ReadAt(entry.dataOffset + done, buffer.data(), piece);
            sink(buffer.data(), piece);
            done += piece;
        }
        return;
    }

    const std::uint32_t chunks =
        static_cast<std::uint32_t>((std::uint64_t{entry.size} + kChunkSize - 1) / kChunkSize);
    std::vector<unsigned char> table(std::uint64_t{chunks} * 4);
    ReadAt(entry.dataOffset, table.data(), table.size());
    std::uint64_t position = std::uint64_t{entry.dataOffset} + table.size();
    std::vector<unsigned char> stored;
    std::vector<unsigned char> output(kChunkSize);
    for (std::uint32_t i = 0; i < chunks; ++i) {
        std::string chunk =
            "chunk " + std::to_string(i + 1) + " of " + std::to_string(chunks) + " of " + name;
        std::uint32_t length = ReadU32(&table[i * 4]);
        std::uint32_t expected = i + 1 < chunks ? kChunkSize : entry.size - i * kChunkSize;
        if (length < kChunkHeaderSize) {
            Fail(chunk + " is " + std::to_string(length) +
                 " bytes long in the chunk table, shorter than a chunk header");
        }
        if (position + length > fileSize_) Fail(chunk + " runs past the end of the file");
        // Header and payload in one read.
        stored.resize(length);
        ReadAt(position, stored.data(), length);
        const unsigned char* header = stored.data();
        if (std::memcmp(header + kChunkMarker, kChunkMarkerBytes, 4) != 0)
            Fail(chunk + " has no 'SQSH' marker");
        std::uint8_t method = header[kChunkMethod];
        std::uint8_t cipher = header[kChunkCipher];
        std::uint32_t compressedSize = ReadU32(header + kChunkCompressedSize);
        std::uint32_t decompressedSize = ReadU32(header + kChunkDecompressedSize);
        std::uint32_t checksum = ReadU32(header + kChunkChecksum);
        if (method != static_cast<std::uint8_t>(Compression::kLz77) &&
            method != static_cast<std::uint8_t>(Compression::kZlib)) {
            Fail(chunk + " uses an unknown compression (" + std::to_string(method) + ")");
        }
        if (cipher > 1)
            Fail(chunk + " has chunk cipher flag " + std::to_string(cipher) + ", neither 0 nor 1");
        if (std::uint64_t{compressedSize} + kChunkHeaderSize != length) {
            Fail(chunk + " holds " + std::to_string(compressedSize) +
                 " compressed bytes, but the chunk table gives it " + std::to_string(length) +
                 " bytes with its header");
        }
        if (decompressedSize != expected) {
            Fail(chunk + " declares " + std::to_string(decompressedSize) +
                 " decompressed bytes where the file's size calls for " + std::to_string(expected));
        }
        unsigned char* payload = stored.data() + kChunkHeaderSize;
        if (ByteSum(payload, compressedSize) != checksum) Fail(chunk + " fails its checksum");
        if (cipher) DecodeChunkCipher(payload, compressedSize);
        std::string problem = method == static_cast<std::uint8_t>(Compression::kZlib)
                                  ? InflateChunk(payload, compressedSize, output.data(), expected)
                                  : lz77::Decode(payload, compressedSize, output.data(), expected);
        if (!problem.empty()) Fail(chunk + ": " + problem);
        sink(output.data(), expected);
        position += length;
    }
}

std::string HpiReader::ExtractToMemory(const HpiEntry& entry) const {
    std::string content;
    Extract(entry, [&](const unsigned char* data, size_t size) {
        content.append(reinterpret_cast<const char*>(data), size);
    });
    return content;
}

void HpiReader::ExtractToFile(const HpiEntry& entry, const fs::path& destination) const {
    // Checked before any file exists, so a refused entry leaves nothing behind.
    if (!entry.safe()) Refuse(Quoted(entry.path) + " is not extracted: " + entry.unsafeReason);
    if (entry.directory) Refuse(Quoted(entry.path) + " is a directory, not a file");
    try {
        // A destination that does not exist yet is written in place, which spares a temporary
        // file and a rename per file; one that exists is replaced only once the new content is
        // whole.
        if (NewFile file(destination); file.created()) {
            Extract(entry, [&](const unsigned char* data, size_t size) { file.Write(data, size); });
            file.Commit();
            return;
        }
        AtomicFile file(destination, AtomicFile::Durability::kRenamed);
        Extract(entry, [&](const unsigned char* data, size_t size) { file.Write(data, size); });
        file.Commit();
    } catch (const std::system_error& error) {
        throw HpiError(
            displayName_ + ": cannot extract " + Quoted(entry.path) + ": " + error.what(),
            error.code());
    }
}

}  // namespace kelmora
