// SPDX-License-Identifier: GPL-3.0-or-later
// The install benchmark's helper (bench/run.sh drives it):
//
//   kelmora-install-bench generate --seed N --files N --megabytes N [--overlay N] DIR
//       writes a reproducible, game-like tree below DIR: unit and weapon definitions (text),
//       scripts and models (structured binary), pictures and sounds (runs, ramps, noise), a few
//       large files; in the game's folders, which grow with the file count as the real ones do.
//       With --overlay SEED:FILES (a game tree's), every other file takes a path of that tree,
//       as a patch replaces game files.
//   kelmora-install-bench install --game-dir DIR --package-dir DIR
//       runs the install on that game folder after the version check, which only compares the
//       game files' sizes; exit status 0 when it succeeded.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/InstallDisplay.h"
#include "core/InstallerState.h"
#include "core/MessageBox.h"
#include "core/PatchInstall.h"

namespace fs = std::filesystem;
using namespace kelmora;

namespace {

const char* const kFolders[] = {"units",
                                "weapons",
                                "scripts",
                                "objects3d",
                                "anims",
                                "unitpics",
                                "sounds",
                                "features\\corpses",
                                "features\\all worlds",
                                "gamedata",
                                "textures",
                                "maps",
                                "guis",
                                "bitmaps",
                                "palettes",
                                "camps\\arm",
                                "camps\\core",
                                "download",
                                "fonts",
                                "ai"};
constexpr size_t kFolderCount = sizeof kFolders / sizeof *kFolders;

const char* const kWords[] = {"[UNITINFO]",
                              "{",
                              "}",
                              "\r\n",
                              "\t",
                              "UnitName=",
                              "Side=ARM;",
                              "Side=CORE;",
                              "Energy",
                              "Metal",
                              "range=",
                              "reloadtime=",
                              "damage",
                              "weapon1=",
                              "Commander",
                              "Builds",
                              "BuildCostEnergy=",
                              "MaxDamage=",
                              "Corpse=",
                              "Category=",
                              "KBOT",
                              "TANK",
                              "LEVEL2",
                              "NOWEAPON",
                              "Description=",
                              "Designation=",
                              "footprintx=",
                              "velocity=",
                              "turnrate=",
                              "accelerate=",
                              "explodeas=",
                              "soundstart=",
                              "sightdistance=",
                              ";",
                              " ",
                              "0.",
                              "1",
                              "2",
                              "3",
                              "45",
                              "600",
                              "1200",
                              "armcom",
                              "corak",
                              "armpw",
                              "corthud",
                              "lasers",
                              "plasma",
                              "missile",
                              "cannon",
                              "[DAMAGE]"};
constexpr size_t kWordCount = sizeof kWords / sizeof *kWords;

// Unit definitions and scripts in text: a skewed vocabulary plus numbers.
void Text(std::mt19937& random, size_t size, std::string& out) {
    while (out.size() < size) {
        double r = std::generate_canonical<double, 16>(random);
        out += kWords[static_cast<size_t>(r * r * kWordCount)];
        if (random() % 4 == 0) out += std::to_string(random() % 100000);
    }
    out.resize(size);
}

// Models, pictures and sounds: runs, repeated records, ramps and noise.
void Binary(std::mt19937& random, size_t size, int noiseShare, std::string& out) {
    while (out.size() < size) {
        size_t piece = 64 + random() % 2048;
        int kind = static_cast<int>(random() % 100);
        if (kind < noiseShare) {
            for (size_t i = 0; i < piece; ++i) out += static_cast<char>(random());
        } else if (kind < noiseShare + 25) {
            out.append(piece, static_cast<char>(random() % 8));
        } else if (kind < noiseShare + 60) {
            std::string record(8 + random() % 24, '\0');
            for (char& c : record) c = static_cast<char>(random() % 64);
            for (size_t done = 0; done < piece; done += record.size()) out += record;
        } else {
            for (size_t i = 0; i < piece; ++i)
                out += static_cast<char>((i * 3 + random() % 5) & 0xFF);
        }
    }
    out.resize(size);
}

struct Plan {
    std::string path;  // '/'-separated below the tree
    size_t size;
    int kind;  // 0 text, 1 structured binary, 2 sound
};

// The files of a tree of `files` files and about `bytes` bytes: a few large ones hold a quarter.
std::vector<Plan> PlanTree(std::uint32_t seed, size_t files, size_t bytes) {
    std::mt19937 random(seed);
    std::vector<Plan> plan;
    const size_t large = std::max<size_t>(1, files / 1500);
    const size_t largeBytes = bytes / 4 / large;
    const size_t smallAverage = (bytes - large * largeBytes) / std::max<size_t>(1, files - large);
    for (size_t i = 0; i < files; ++i) {
        std::string folder = kFolders[random() % kFolderCount];
        std::replace(folder.begin(), folder.end(), '\\', '/');
        int kind = static_cast<int>(random() % 10);
        kind = kind < 5 ? 0 : kind < 9 ? 1 : 2;
        size_t size =
            i < large ? largeBytes / 2 + random() % largeBytes : 1 + random() % (2 * smallAverage);
        static const char* const kExtensions[] = {".fbi", ".cob", ".wav"};
        plan.push_back(
            {folder + "/file" + std::to_string(i) + kExtensions[kind], size, i < large ? 1 : kind});
    }
    return plan;
}

int Generate(std::uint32_t seed, size_t files, size_t megabytes, const std::string& overlay,
             const fs::path& root) {
    std::vector<Plan> plan = PlanTree(seed, files, megabytes << 20);
    if (!overlay.empty()) {
        // Half the files replace game files: the game tree's paths, the package's content.
        size_t colon = overlay.find(':');
        if (colon == std::string::npos) throw std::invalid_argument("--overlay takes SEED:FILES");
        std::vector<Plan> game =
            PlanTree(static_cast<std::uint32_t>(std::stoul(overlay.substr(0, colon))),
                     std::stoul(overlay.substr(colon + 1)), 1 << 20);
        for (size_t i = 0; i < plan.size(); i += 2) plan[i].path = game[(i * 7) % game.size()].path;
    }
    std::mt19937 random(seed * 7919 + 1);
    std::string content;
    for (const Plan& file : plan) {
        content.clear();
        if (file.kind == 0)
            Text(random, file.size, content);
        else
            Binary(random, file.size, file.kind == 2 ? 30 : 8, content);
        fs::path path = root / file.path;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    return 0;
}

class QuietDisplay : public InstallDisplay {
public:
    void SetAction(const std::string&) override {}
    void SetPercentText(const std::string&) override {}
    void SetBar(int) override {}
    void Repaint() override {}
};

class PrintedMessages : public MessageBoxSeam {
public:
    MsgAnswer Show(const Message& message) override {
        std::cerr << message.text << '\n';
        ++shown;
        return MsgAnswer::kOk;
    }
    int shown = 0;
};

int Install(const std::string& gameDir, const std::string& packageDir) {
    InstallerState state{gameDir, packageDir};
    QuietDisplay display;
    PrintedMessages messages;
    InstallPatchAfterVersionCheck(state, display, messages);
    return state.installFailed || messages.shown > 0 ? 1 : 0;
}

int Usage() {
    std::cerr << "usage: kelmora-install-bench generate --seed N --files N --megabytes N "
                 "[--overlay SEED:FILES] DIR\n"
                 "       kelmora-install-bench install --game-dir DIR --package-dir DIR\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    std::string seed = "1", files = "1500", megabytes = "13", overlay, gameDir, packageDir;
    std::string folder;
    for (size_t i = 1; i < args.size(); ++i) {
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        const std::string& arg = args[i];
        bool ok = arg == "--seed"                   ? value(seed)
                  : arg == "--files"                ? value(files)
                  : arg == "--megabytes"            ? value(megabytes)
                  : arg == "--overlay"              ? value(overlay)
                  : arg == "--game-dir"             ? value(gameDir)
                  : arg == "--package-dir"          ? value(packageDir)
                  : arg[0] != '-' && folder.empty() ? (folder = arg, true)
                                                    : false;
        if (!ok) return Usage();
    }
    try {
        if (args[0] == "generate" && !folder.empty()) {
            return Generate(static_cast<std::uint32_t>(std::stoul(seed)), std::stoul(files),
                            std::stoul(megabytes), overlay, folder);
        }
        if (args[0] == "install" && !gameDir.empty() && !packageDir.empty())
            return Install(gameDir, packageDir);
    } catch (const std::exception& error) {
        std::cerr << "kelmora-install-bench: " << error.what() << '\n';
        return 1;
    }
    return Usage();
}
