// SPDX-License-Identifier: GPL-3.0-or-later
// The archive reader on any bytes: open from memory, list, look every entry up, extract every file
// to memory. A damaged archive may only raise HpiError; whatever opens must be consistent.
#include <optional>
#include <string>

#include "FuzzTarget.h"
#include "hpi/HpiReader.h"
#include "platform/PathMapping.h"

using namespace kelmora;

namespace {

// Entries may share their data, so a small file can stand for far more output; beyond this much
// per input the rest is not extracted, to keep executions fast.
constexpr std::uint64_t kOutputBudget = 64u << 20;

void CheckEntry(const HpiReader& reader, size_t index) {
    const auto& entries = reader.entries();
    const HpiEntry& entry = entries[index];
    // Depth first: a directory comes before what it holds.
    FUZZ_CHECK(entry.parent < static_cast<std::int32_t>(index));
    if (entry.parent >= 0) {
        const HpiEntry& parent = entries[entry.parent];
        FUZZ_CHECK(parent.directory);
        FUZZ_CHECK(entry.path == parent.path + "\\" + entry.name);
        // Nothing below an unsafe directory may be extracted.
        if (!parent.safe()) FUZZ_CHECK(!entry.safe());
    } else {
        FUZZ_CHECK(entry.path == entry.name);
    }
    if (entry.safe()) {
        // A safe name is one plain component: extracting it cannot leave the target folder.
        FUZZ_CHECK(UnsafeNameReason(entry.storedName).empty());
        FUZZ_CHECK(!entry.name.empty() && entry.name != "." && entry.name != "..");
        FUZZ_CHECK(entry.name.find_first_of("\\/:") == std::string::npos);
        for (char c : entry.name) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        // Every safe path finds itself (the first of equal paths is the safe one).
        const HpiEntry* found = reader.Find(entry.path);
        FUZZ_CHECK(found == &entry);
    }
    if (entry.directory) FUZZ_CHECK(entry.size == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<HpiReader> reader;
    try {
        reader.emplace(HpiReader::FromMemory(std::string(reinterpret_cast<const char*>(data), size),
                                             "fuzz.hpi"));
    } catch (const HpiError&) {
        return 0;
    }
    std::uint64_t output = 0;
    const auto& entries = reader->entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        CheckEntry(*reader, i);
        const HpiEntry& entry = entries[i];
        if (entry.directory || output > kOutputBudget) continue;
        std::uint64_t produced = 0;
        try {
            reader->Extract(entry, [&](const unsigned char* bytes, size_t count) {
                FUZZ_CHECK(count > 0 && count <= 65536);
                // Touch the bytes, so a sink handed memory it may not read is caught.
                volatile unsigned char first = bytes[0], last = bytes[count - 1];
                (void)first;
                (void)last;
                produced += count;
                FUZZ_CHECK(produced <= entry.size);
            });
        } catch (const HpiError&) {
            output += produced;
            continue;
        }
        // An extraction that succeeds yields the declared size exactly, and only for a safe entry.
        FUZZ_CHECK(entry.safe());
        FUZZ_CHECK(produced == entry.size);
        output += produced;
    }
    return 0;
}
