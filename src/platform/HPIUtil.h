#pragma once

#include <cstdint>
#include <string>

// The archive library's interface as the install procedure calls it: 32-bit handles, names as
// NUL-terminated UTF-8 texts, paths as program path texts (see PathMapping.h). A thin layer over
// the archive reader and writer.
namespace kelmora {

using HpiHandle = std::int32_t;

// Progress callback: eight 32-bit integers by value; the seventh is work done, the eighth total
// work (never 0). Its result is ignored.
using HpiProgressCallback = std::int32_t (*)(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t, std::int32_t, std::int32_t, std::int32_t);

// Size of the caller's name buffer for HPIGetFiles, in characters.
inline constexpr int kHpiNameBufferSize = 255;

HpiHandle HPIOpen(const char* archivePath);
std::int32_t HPIGetFiles(HpiHandle handle, std::int32_t next, char* name, std::int32_t* type,
                         std::int32_t* size);
std::int32_t HPIExtractFile(HpiHandle handle, const char* name, const char* destination);
std::int32_t HPIClose(HpiHandle handle);

HpiHandle HPICreate(const char* archivePath, HpiProgressCallback callback);
std::int32_t HPICreateDirectory(HpiHandle handle, const char* name);
std::int32_t HPIAddFile(HpiHandle handle, const char* name, const char* sourcePath);
std::int32_t HPIPackArchive(HpiHandle handle, std::int32_t compression);

// What went wrong in the last call of this thread that failed, for the program's error messages
// ("KELMORA.UFO: chunk 3 of scripts\armcom.cob fails its checksum").
std::string HPILastError();

}  // namespace kelmora
