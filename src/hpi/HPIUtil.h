// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "platform/RuntimeError.h"

// The archive library's interface as the install procedure calls it: 32-bit handles, names as
// NUL-terminated UTF-8 texts, paths as program path texts (see PathMapping.h). A thin layer over
// the archive reader and writer (HpiReader.h, HpiWriter.h).
//
// Every function that fails returns 0 and leaves the reason in HPILastError(). Handles are
// positive numbers, never 0; a handle that is unknown, closed or of the other kind (an archive
// being read passed to HPIAddFile, say) is a failure.
namespace kelmora {

using HpiHandle = std::int32_t;

// Progress callback: eight 32-bit integers by value; the seventh is work done, the eighth total
// work (never 0). Its result is ignored. The others, for whoever wants them: 0, 0, files written,
// files in all, bytes written of the current file, that file's size (each capped at INT32_MAX).
using HpiProgressCallback = std::int32_t (*)(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t);

// Size of the caller's name buffer for HPIGetFiles, in characters.
inline constexpr int kHpiNameBufferSize = 255;

// Opens an archive for reading. Its whole directory is read and checked here: a damaged archive,
// a later version (0x00020000) or a saved game ("BANK") fails, and 0 is returned. Entries with
// unsafe names do not fail the open; they are listed and refuse extraction.
HpiHandle HPIOpen(const char* archivePath);
// Writes entry number `next` (0 for the first) into `name` and returns the number to pass next,
// or 0 when no entry is left (the buffer is then untouched). Entries come in stored order, depth
// first, a directory before what it holds; the name is the full path from the root, names joined
// with '\', NUL-terminated, at most 254 bytes and the NUL (a longer path is cut before a whole
// character). `type` gets 0 for a file and 1 for a directory, `size` the file's size (0 for a
// directory); either may be null.
std::int32_t HPIGetFiles(HpiHandle handle, std::int32_t next, char* name, std::int32_t* type,
                         std::int32_t* size);
// Writes the content of the file entry `name` (found without regard to letter case) to the path
// text `destination`, through a temporary file in the destination's folder that replaces an
// existing file only once complete. Returns nonzero on success; 0 for an unknown name, a
// directory, an unsafe name (one that could leave the folder it is extracted into, or that
// repeats an earlier entry's path), damaged data, or a destination that cannot be written. The
// destination's folder is not created.
std::int32_t HPIExtractFile(HpiHandle handle, const char* name, const char* destination);
// Releases a handle of HPIOpen.
std::int32_t HPIClose(HpiHandle handle);

// Starts building an archive that HPIPackArchive will write to `archivePath`. Nothing is touched
// on disk yet. `callback` may be null.
HpiHandle HPICreate(const char* archivePath, HpiProgressCallback callback);
// Adds a directory ("scripts\" or "scripts", with any missing parents). Directories are matched
// without regard to case: adding one that exists does nothing.
std::int32_t HPICreateDirectory(HpiHandle handle, const char* name);
// Adds a file entry ("Scripts\Armcom.cob"; no '\' puts it at the root) whose content is read from
// the path text `sourcePath` when packing. It goes into the directory of that path created
// earlier, whatever its letter case, or into new directories. A name that is unsafe, cannot be
// written in Windows-1252, or repeats an entry's path fails, and so does the whole pack later.
std::int32_t HPIAddFile(HpiHandle handle, const char* name, const char* sourcePath);
// Writes the archive: compression 2 is zlib (the game's own packers' choice; 1 is LZ77 and 0
// stored). The callback is called on the calling thread as the work goes on, last with done equal
// to total. Returns nonzero exactly when the new archive was written completely, renamed over
// the target and its folder flushed; on failure the former target is left byte for byte as it
// was, except when only that flush of the folder failed. Releases the handle either way.
std::int32_t HPIPackArchive(HpiHandle handle, std::int32_t compression);

// What went wrong in the last call of this thread that failed ("KELMORA.UFO is damaged: chunk 3
// of 5 of 'scripts\armcom.cob' fails its checksum").
std::string HPILastError();

// The same as the run-time error the program reports: where the system refused, its number and
// description (61 "Disk full", 70 "Permission denied", ...) and the path text asked for (the
// archive, not a temporary file it was written as); otherwise 57 with HPILastError() as the
// description.
RuntimeError HPILastRuntimeError();

}  // namespace kelmora
