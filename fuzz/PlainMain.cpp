// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over input files without libFuzzer: each argument is a file, or a folder
// whose files (not recursed into, in name order, hidden ones left out) are all run. A crash or a
// broken property aborts, which fails the test that runs this program.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"

namespace fs = std::filesystem;

static bool RunFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

int main(int argc, char** argv) {
    int runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const fs::path argument = argv[i];
        if (!fs::is_directory(argument)) {
            ok = RunFile(argument) && ok;
            ++runs;
            continue;
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(argument)) {
            // Hidden files (".gitkeep") hold no input.
            if (entry.is_regular_file() && !entry.path().filename().string().starts_with(".")) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            ok = RunFile(file) && ok;
            ++runs;
        }
    }
    std::printf("%d inputs run\n", runs);
    return ok ? 0 : 1;
}
