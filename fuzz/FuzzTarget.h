// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Every fuzz target defines this; libFuzzer calls it, and so does the plain runner (PlainMain.cpp)
// for each input file, so a finding replays as an ordinary test.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A property the input broke: aborts, so the fuzzer keeps the input and the plain runner fails.
#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::kelmora::fuzz::Broken(#condition, __FILE__, __LINE__))

namespace kelmora::fuzz {
[[noreturn]] void Broken(const char* what, const char* file, int line);
}  // namespace kelmora::fuzz
