// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DemoSandbox.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>

#include "core/GameFolderLookup.h"
#include "hpi/HpiWriter.h"
#include "platform/Console.h"
#include "platform/Registry.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kTotala1Size = 32311035;
constexpr std::uintmax_t kCcdataSize = 25871597;
constexpr std::uintmax_t kRev31Size = 5481280;

constexpr const char* kDemoModelFolders[] = {"objects3d", "anims", "sounds", "weapons"};
constexpr int kDemoModelsPerFolder = 1000;
constexpr std::size_t kDemoModelBytes = 8000;

// A host path as the program's path texts are written: UTF-8.
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void WriteFileText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out.flush()) throw RuntimeError(kDeviceIOError, "cannot write " + Utf8(file));
}

std::string Repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

// The game's archive as the demo ships it: a few directories of small files.
std::vector<ArchiveEntry> DemoGameArchive() {
    return {
        {"anims", std::nullopt},
        {"anims\\armcom.gaf", Repeated("demo animation frames\n", 200)},
        {"gamedata", std::nullopt},
        {"gamedata\\sidedata.tdf", "[side0]\n{\n\tname=ARM;\n}\n[side1]\n{\n\tname=CORE;\n}\n"},
        {"scripts", std::nullopt},
        {"scripts\\armcom.cob", Repeated("original commander script\n", 50)},
        {"scripts\\corcom.cob", Repeated("original core commander script\n", 50)},
        {"unitpics", std::nullopt},
        {"unitpics\\armcom.pcx", Repeated("original picture\n", 100)},
    };
}

// Model files of the demo patch's own: numbers in lines of text, as varied as real data, so that
// packing them takes about as long as packing the game's own files.
void AddDemoModels(std::vector<ArchiveEntry>& entries) {
    std::minstd_rand numbers(31);
    for (const char* folder : kDemoModelFolders) {
        entries.push_back({std::string("rev31.gp3\\") + folder, std::nullopt});
        for (int file = 0; file < kDemoModelsPerFolder; ++file) {
            std::string content;
            while (content.size() < kDemoModelBytes) {
                content += "vertex " + std::to_string(numbers() % 100000) + ' ' +
                           std::to_string(numbers() % 100000) + ' ' +
                           std::to_string(numbers() % 100000) + '\n';
            }
            entries.push_back(
                {std::string("rev31.gp3\\") + folder + "\\kel" + std::to_string(file) + ".3do",
                 std::move(content)});
        }
    }
}

// The demo patch: replaces two of the game's files and adds three and a few thousand models, so
// that its install lasts a few seconds and its progress can be watched; its notes lie outside the
// "rev31.gp3" folder and are not installed.
std::vector<ArchiveEntry> DemoPackage() {
    std::vector<ArchiveEntry> entries = {
        {"rev31.gp3", std::nullopt},
        {"rev31.gp3\\scripts", std::nullopt},
        {"rev31.gp3\\scripts\\armcom.cob", Repeated("kelmora commander script\n", 60)},
        {"rev31.gp3\\scripts\\armkel.cob", Repeated("kelmora new unit script\n", 40)},
        {"rev31.gp3\\unitpics", std::nullopt},
        {"rev31.gp3\\unitpics\\armcom.pcx", Repeated("kelmora picture\n", 100)},
        {"rev31.gp3\\unitpics\\arm kelmora.pcx", Repeated("kelmora new picture\n", 100)},
        {"rev31.gp3\\units", std::nullopt},
        {"rev31.gp3\\units\\armkel.fbi", "[UNITINFO]\n{\n\tUnitName=ARMKEL;\n}\n"},
        {"readme.txt", "Orvald's Kelmora demo package.\n"},
    };
    AddDemoModels(entries);
    return entries;
}

// The registry text Wine keeps in system.reg: the game's uninstall entry naming its folder.
std::string SystemReg(const std::string& gameFolderText) {
    std::string escaped;
    for (char c : gameFolderText) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "WINE REGISTRY Version 2\n"
           ";; All keys relative to \\\\Machine\n\n"
           "#arch=win32\n\n"
           "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total "
           "Annihilation] " +
           std::to_string(std::time(nullptr)) + "\n\"Dir\"=\"" + escaped + "\"\n";
}

DemoSandbox Layout(const fs::path& root) {
    DemoSandbox sandbox;
    sandbox.prefix = root / "prefix";
    sandbox.gameFolder = sandbox.prefix / "drive_c" / "Cavedog" / "TotalA";
#ifdef _WIN32
    // Drive C is the machine's own there: the registry names the folder by its path.
    sandbox.gameFolderText = Utf8(sandbox.gameFolder);
#else
    sandbox.gameFolderText = "C:\\Cavedog\\TotalA";
#endif
    sandbox.packageFolder = root / "package";
    return sandbox;
}

fs::path NewTemporaryFolder() {
    std::random_device random;
    for (;;) {
        fs::path folder = fs::temp_directory_path() / ("kelmora-demo-" + std::to_string(random()));
        if (fs::create_directory(folder)) return folder;
    }
}

}  // namespace

void WriteArchive(const fs::path& archive, const std::vector<ArchiveEntry>& entries) {
    HpiWriter writer;
    for (const ArchiveEntry& entry : entries) {
        if (entry.content)
            writer.AddFileFromMemory(entry.name, *entry.content);
        else
            writer.AddDirectory(entry.name);
    }
    writer.Write(archive);
}

void PadFile(const fs::path& file, std::uintmax_t size) {
    if (!fs::exists(file)) WriteFileText(file, "");
    fs::resize_file(file, size);
}

DemoSandbox BuildDemoSandbox(const fs::path& root) {
    DemoSandbox sandbox = Layout(root);
    if (fs::exists(sandbox.prefix / "system.reg")) return sandbox;
    fs::create_directories(sandbox.prefix / "dosdevices");
    fs::create_directories(sandbox.gameFolder);
    fs::create_directories(sandbox.packageFolder);
#ifndef _WIN32
    // Windows has no such links, and needs none: the game folder is named by its own path.
    fs::create_symlink("../drive_c", sandbox.prefix / "dosdevices" / "c:");
#endif
    PadFile(sandbox.gameFolder / "totala1.hpi", kTotala1Size);
    PadFile(sandbox.gameFolder / "ccdata.ccx", kCcdataSize);
    WriteArchive(sandbox.gameFolder / "rev31.gp3", DemoGameArchive());
    PadFile(sandbox.gameFolder / "rev31.gp3", kRev31Size);
    WriteArchive(sandbox.packageFolder / "KELMORA.UFO", DemoPackage());
    // Written last: its presence marks a complete sandbox.
    WriteFileText(sandbox.prefix / "system.reg", SystemReg(sandbox.gameFolderText));
    return sandbox;
}

void EnterDemoSandbox(const std::optional<std::string>& root) {
    fs::path folder;
    if (root) {
        folder = fs::absolute(fs::path(std::u8string(root->begin(), root->end())));
        fs::create_directories(folder);
    } else {
        folder = NewTemporaryFolder();
    }
    DemoSandbox sandbox = BuildDemoSandbox(folder);
#ifdef _WIN32
    // The program may not write the machine's registry: the demo's is a key of the user's own.
    UseDemoRegistry(kGameUninstallKey, kGameFolderValue, sandbox.gameFolderText);
#else
    ::setenv("WINEPREFIX", sandbox.prefix.c_str(), 1);
#endif
    fs::current_path(sandbox.packageFolder);
    WriteText(stderr, "Demo sandbox: " + Utf8(folder) + "\n  game folder " +
                          sandbox.gameFolderText + " (" + Utf8(sandbox.gameFolder) +
                          "), package folder " + Utf8(sandbox.packageFolder) +
                          "\nRun again with --demo " + Utf8(folder) +
                          " to see the control panel once installed.\n");
}

}  // namespace kelmora
