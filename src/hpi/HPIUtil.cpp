// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/HPIUtil.h"

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "hpi/HpiReader.h"
#include "hpi/HpiWriter.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {
namespace {

// A writer plus what HPICreate was given; the target path text is mapped only when packing, so
// that the reason a target cannot be written is reported by HPIPackArchive.
struct PackJob {
    std::string targetText;
    HpiProgressCallback callback = nullptr;
    HpiWriter writer;
    std::string firstError;  // a failed HPICreateDirectory or HPIAddFile makes the pack fail
};

// An archive open for reading, and the destination folders its extractions have listed.
struct OpenArchive {
    explicit OpenArchive(HpiReader opened) : reader(std::move(opened)) {}
    HpiReader reader;
    PathResolver destinations;
};

using Slot = std::variant<std::unique_ptr<OpenArchive>, std::unique_ptr<PackJob>>;

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HpiHandle, Slot> slots;
    HpiHandle next = 1;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

// The last failure of this thread: its text and, where the system refused (rather than an
// archive being at fault), the run-time error that says why and the path text it concerns.
struct Failure {
    std::string text;
    int number = 0;
    std::string path;
};
thread_local Failure lastFailure;

std::int32_t Failed(std::string message) {
    lastFailure = {std::move(message), 0, {}};
    return 0;
}

std::int32_t Failed(const RuntimeError& error, std::string_view text, std::string path) {
    lastFailure = {std::string(text) + ": " + error.description(), error.number(),
                   error.path().empty() ? std::move(path) : error.path()};
    return 0;
}

std::int32_t Failed(const HpiError& error, std::string path) {
    if (!error.code()) return Failed(error.what());
    lastFailure = {error.what(), ErrorFromSystem(error.code()).number(), std::move(path)};
    return 0;
}

// The last component of a path text, which starts the reader's error texts.
std::string FileNameOf(std::string_view text) {
    size_t cut = text.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? text : text.substr(cut + 1));
}

HpiHandle Store(Slot slot) {
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    // Handles are positive 32-bit numbers, never 0, not reused while open.
    do {
        if (table.next <= 0) table.next = 1;
        ++table.next;
    } while (table.slots.count(table.next - 1));
    HpiHandle handle = table.next - 1;
    table.slots.emplace(handle, std::move(slot));
    return handle;
}

template <typename T>
T* Lookup(HpiHandle handle) {
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.slots.find(handle);
    if (it == table.slots.end()) return nullptr;
    auto* held = std::get_if<std::unique_ptr<T>>(&it->second);
    return held ? held->get() : nullptr;
}

std::unique_ptr<PackJob> TakePackJob(HpiHandle handle) {
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.slots.find(handle);
    if (it == table.slots.end()) return nullptr;
    auto* held = std::get_if<std::unique_ptr<PackJob>>(&it->second);
    if (!held) return nullptr;
    std::unique_ptr<PackJob> job = std::move(*held);
    table.slots.erase(it);
    return job;
}

std::string NoArchive(HpiHandle handle, const char* what) {
    return "handle " + std::to_string(handle) + " is not " + what;
}

}  // namespace

HpiHandle HPIOpen(const char* archivePath) {
    if (!archivePath) return Failed("HPIOpen: no archive path given");
    try {
        return Store(std::make_unique<OpenArchive>(
            HpiReader::Open(HostPath(archivePath), FileNameOf(archivePath))));
    } catch (const RuntimeError& error) {
        return Failed(error, archivePath, archivePath);
    } catch (const HpiError& error) {
        return Failed(error, archivePath);
    } catch (const std::exception& error) {
        return Failed(error.what());
    }
}

std::int32_t HPIGetFiles(HpiHandle handle, std::int32_t next, char* name, std::int32_t* type,
                         std::int32_t* size) {
    const OpenArchive* archive = Lookup<OpenArchive>(handle);
    if (!archive) return Failed(NoArchive(handle, "an open archive"));
    if (!name) return Failed("HPIGetFiles: no name buffer given");
    const auto& entries = archive->reader.entries();
    if (next < 0 || static_cast<size_t>(next) >= entries.size()) return 0;
    const HpiEntry& entry = entries[static_cast<size_t>(next)];
    // At most 254 bytes and the NUL; a longer path is cut before a whole UTF-8 character.
    size_t length = std::min<size_t>(entry.path.size(), kHpiNameBufferSize - 1);
    if (length < entry.path.size()) {
        while (length > 0 && (static_cast<unsigned char>(entry.path[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(name, entry.path.data(), length);
    name[length] = '\0';
    if (type) *type = entry.directory ? 1 : 0;
    if (size) *size = static_cast<std::int32_t>(entry.size);
    return next + 1;
}

std::int32_t HPIExtractFile(HpiHandle handle, const char* name, const char* destination) {
    OpenArchive* archive = Lookup<OpenArchive>(handle);
    if (!archive) return Failed(NoArchive(handle, "an open archive"));
    if (!name || !destination) return Failed("HPIExtractFile: no name or no destination given");
    const HpiReader& reader = archive->reader;
    const HpiEntry* entry = reader.Find(name);
    if (!entry)
        return Failed(reader.displayName() + ": no entry named '" + PrintableName(name) + "'");
    try {
        const std::filesystem::path path = archive->destinations.Resolve(destination);
        reader.ExtractToFile(*entry, path);
        archive->destinations.Created(path);
        return 1;
    } catch (const RuntimeError& error) {
        return Failed(error, destination, destination);
    } catch (const HpiError& error) {
        return Failed(error, destination);
    } catch (const std::exception& error) {
        return Failed(error.what());
    }
}

std::int32_t HPIClose(HpiHandle handle) {
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.slots.find(handle);
    if (it == table.slots.end() ||
        !std::holds_alternative<std::unique_ptr<OpenArchive>>(it->second)) {
        return Failed(NoArchive(handle, "an open archive"));
    }
    table.slots.erase(it);
    return 1;
}

HpiHandle HPICreate(const char* archivePath, HpiProgressCallback callback) {
    if (!archivePath) return Failed("HPICreate: no archive path given");
    auto job = std::make_unique<PackJob>();
    job->targetText = archivePath;
    job->callback = callback;
    return Store(std::move(job));
}

std::int32_t HPICreateDirectory(HpiHandle handle, const char* name) {
    PackJob* job = Lookup<PackJob>(handle);
    if (!job) return Failed(NoArchive(handle, "an archive being built"));
    try {
        if (!name) throw HpiError("HPICreateDirectory: no name given");
        job->writer.AddDirectory(name);
        return 1;
    } catch (const std::exception& error) {
        if (job->firstError.empty()) job->firstError = error.what();
        return Failed(error.what());
    }
}

std::int32_t HPIAddFile(HpiHandle handle, const char* name, const char* sourcePath) {
    PackJob* job = Lookup<PackJob>(handle);
    if (!job) return Failed(NoArchive(handle, "an archive being built"));
    try {
        if (!name || !sourcePath) throw HpiError("HPIAddFile: no name or no source path given");
        std::filesystem::path source;
        try {
            source = HostPath(sourcePath);
        } catch (const RuntimeError& error) {
            throw HpiError(std::string(sourcePath) + ": " + error.description());
        }
        job->writer.AddFile(name, source, sourcePath);
        return 1;
    } catch (const std::exception& error) {
        if (job->firstError.empty()) job->firstError = error.what();
        return Failed(error.what());
    }
}

std::int32_t HPIPackArchive(HpiHandle handle, std::int32_t compression) {
    std::unique_ptr<PackJob> job = TakePackJob(handle);
    if (!job) return Failed(NoArchive(handle, "an archive being built"));
    const std::string target = FileNameOf(job->targetText);
    if (!job->firstError.empty()) {
        return Failed(target +
                      ": not written, because an entry could not be added: " + job->firstError);
    }
    if (compression < 0 || compression > 2) {
        return Failed(target + ": not written: unknown compression method " +
                      std::to_string(compression));
    }
    try {
        HpiCallback progress;
        if (job->callback) {
            progress = [callback = job->callback](const HpiProgress& p) {
                callback(0, 0, p.filesDone, p.filesTotal, p.fileBytesDone, p.fileBytesTotal, p.done,
                         p.total);
            };
        }
        job->writer.Write(HostPath(job->targetText), static_cast<hpi::Compression>(compression),
                          progress, target);
        return 1;
    } catch (const RuntimeError& error) {
        return Failed(error, job->targetText, job->targetText);
    } catch (const HpiError& error) {
        // Named after the archive asked for, not the temporary file it is written as.
        return Failed(error, job->targetText);
    } catch (const std::exception& error) {
        return Failed(error.what());
    }
}

std::string HPILastError() {
    return lastFailure.text;
}

RuntimeError HPILastRuntimeError() {
    if (lastFailure.number == 0) return RuntimeError(kDeviceIOError, lastFailure.text);
    return RuntimeError(lastFailure.number, ErrorDescription(lastFailure.number), lastFailure.path);
}

}  // namespace kelmora
