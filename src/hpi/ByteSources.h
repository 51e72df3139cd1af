// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "hpi/HpiReader.h"

// Where an archive's bytes come from: a file read at explicit offsets, or memory.
namespace kelmora {

// An archive file; `displayName` starts every error text. Throws HpiError when it cannot be
// opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::filesystem::path& path,
                                           const std::string& displayName);

// Bytes held in memory.
std::unique_ptr<ByteSource> MemorySource(std::string bytes);

}  // namespace kelmora
