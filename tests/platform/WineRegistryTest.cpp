// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "FakeMachineTest.h"
#include "platform/Registry.h"
#include "platform/WineRegistry.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

namespace kelmora {
namespace {

using testing::ReadFile;
using testing::SharedFixtures;
using testing::WriteFile;
using namespace std::string_literals;

constexpr const char* kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation";

struct ReadResult {
    std::int32_t code = 0;
    std::uint32_t type = 0;
    std::string data;
};

// A value read the way a program reads it: open (asking for more than reading, as the
// installer does), ask for the size, read, close.
ReadResult ReadValue(const std::string& keyPath, const char* name) {
    ReadResult result;
    RegKey key = 0;
    result.code = RegOpenKeyExA(kHKeyLocalMachine, keyPath.c_str(), 0, 0x3F, &key);
    std::uint32_t size = 0;
    if (result.code == kErrorSuccess) {
        result.code = RegQueryValueExA(key, name, nullptr, &result.type, nullptr, &size);
    }
    if (result.code == kErrorSuccess) {
        result.data.assign(size, '?');
        result.code = RegQueryValueExA(key, name, nullptr, &result.type,
                                       reinterpret_cast<std::uint8_t*>(result.data.data()), &size);
        result.data.resize(size);
    }
    RegCloseKey(key);
    return result;
}

// UTF-16LE bytes of an ASCII text in Wine's hex notation.
std::string HexUtf16(const std::string& text) {
    std::string hex;
    for (unsigned char c : text) {
        char pair[8];
        std::snprintf(pair, sizeof pair, "%s%02x,00", hex.empty() ? "" : ",", c);
        hex += pair;
    }
    return hex;
}

// The registry calls over a Wine prefix's system.reg.
class RegistryTest : public testing::FakeMachineTest {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "Windows reads its own registry, never a Wine prefix's system.reg";
#endif
    }
    void UseSystemReg([[maybe_unused]] const std::string& text) {
#ifndef _WIN32
        WriteFile(machine_.WinePrefixFolder() / "system.reg", text);
#endif
    }

    bool UseCapture(const char* name) {
        if (!SharedFixtures()) return false;
        UseSystemReg(ReadFile(*SharedFixtures() / "wine" / name));
        return true;
    }
};

TEST_F(RegistryTest, CapturedThirtyTwoBitPrefixHoldsEveryValueType) {
    if (!UseCapture("system-32bit-prefix.reg.txt")) GTEST_SKIP() << "shared fixtures absent";
    auto text = [](const char* name) { return ReadValue(kUninstall, name).data; };
    EXPECT_EQ(text("Dir"), "C:\\Cavedog\\TotalA\0"s);
    EXPECT_EQ(text("Accents"), "C:\\Jeux\\D\xC3\xA9j\xC3\xA0 vu\0"s);
    EXPECT_EQ(text("Umlaut"),
              "C:\\Spiele\\\xC3\x9C"
              "ber TA\0"s);
    EXPECT_EQ(text("Cjk"), "C:\\\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\\\xE6\x97\xA5\xE6\x9C\xAC\0"s);
    EXPECT_EQ(text("QuoteBs"), "C:\\Say \"hi\"\\\0"s);
    EXPECT_EQ(text("Tab"), "a\tb\0"s);
    EXPECT_EQ(text("EmptyStr"), "\0"s);
    EXPECT_EQ(text(nullptr), "default value\0"s);
    EXPECT_EQ(text("name \"Q\"\\X"), "odd value name\0"s);
    EXPECT_EQ(text("Only32"), "set via /reg:32\0"s);

    ReadResult number = ReadValue(kUninstall, "DwordVal");
    EXPECT_EQ(number.type, kRegDword);
    EXPECT_EQ(number.data, "\x78\x56\x34\x12"s);
    ReadResult expand = ReadValue(kUninstall, "ExpandVal");
    EXPECT_EQ(expand.type, kRegExpandSz);
    EXPECT_EQ(expand.data, "%ProgramFiles%\\Cavedog\\TotalA\0"s);
    ReadResult multi = ReadValue(kUninstall, "Multi");
    EXPECT_EQ(multi.type, kRegMultiSz);
    EXPECT_EQ(multi.data, "one\0two\0\0"s);
    ReadResult binary = ReadValue(kUninstall, "Bin");
    EXPECT_EQ(binary.type, kRegBinary);
    EXPECT_EQ(binary.data, "\x01\x02\xAB\xFF"s);
    EXPECT_EQ(ReadValue(kUninstall, "NoneVal").type, kRegNone);
    EXPECT_EQ(ReadValue(kUninstall, "Qword").data, "\0\0\0\0\1\0\0\0"s);
    EXPECT_EQ(ReadValue("software\\test[bracket]", "x").data, "y\0"s);
}

TEST_F(RegistryTest, CapturedSixtyFourBitPrefixesAreReadInTheThirtyTwoBitView) {
    if (!UseCapture("system-64bit-prefix.reg.txt")) GTEST_SKIP() << "shared fixtures absent";
    EXPECT_EQ(ReadValue(kUninstall, "Dir").data, "C:\\Cavedog\\TotalA\0"s);
    EXPECT_EQ(ReadValue(kUninstall, "Only32").code, kErrorSuccess);
    EXPECT_EQ(ReadValue(kUninstall, "Accents").code, kErrorFileNotFound);

    UseCapture("system-64bit-prefix-wow64.reg.txt");
    EXPECT_EQ(ReadValue(kUninstall, "From32bitProc").code, kErrorSuccess);
    EXPECT_EQ(ReadValue(kUninstall, "From32bitProcReg64").code, kErrorFileNotFound);
}

TEST(WineRegistryParseTest, CapturedSixtyFourBitKeysAndLinks) {
    if (!SharedFixtures()) GTEST_SKIP() << "shared fixtures absent";
    WineRegistry registry =
        WineRegistry::Parse(ReadFile(*SharedFixtures() / "wine/system-64bit-prefix.reg.txt"));
    std::optional<std::string> key = registry.FindKey(kUninstall);
    ASSERT_TRUE(key);
    EXPECT_NE(registry.FindValue(*key, "Accents"), nullptr);
    EXPECT_EQ(registry.FindValue(*key, "Only32"), nullptr);
    EXPECT_TRUE(registry.FindKey("Software\\Microsoft\\Windows"));  // only named by keys below it
    // The link leads to a key this prefix does not hold.
    EXPECT_FALSE(
        registry.FindKey("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
}

TEST_F(RegistryTest, EscapesAndValueTypesOfBuiltFiles) {
    UseSystemReg(
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\Kelmora] 1796686938\n"
        "#time=1dd86a498e65e68\n"
        "@=\"default\"\r\n"
        "\"Greedy\"=\"\\x00dcber \\xe9t\\xe9 \\x41BCD\"\n"
        "\"Surrogates\"=\"\\xd83d\\xde00 \\xd800x\"\n"
        "\"Escapes\"=\"\\101\\60 a\\tb\\nc\\rd\\\\e\\\"f\\q\\x\"\n"
        "\"Raw\"=\"D\xC3\xA9j\xC3\xA0\"\n"
        "\"Bin\"=hex:01,02,\\\n"
        "  ab,ff\n"
        "\"Utf16\"=hex(1):43,00,3a,00,5c,00\n"
        "\"Utf16Ended\"=hex(1):43,00,00,00\n"
        "\"Expand16\"=hex(2):25,00,00,00\n"
        "\"Dword\"=dword:fffffffe\n"
        "[Software\\\\Kelmora\\\\Sub\\[1\\]] 1\n"
        "\"X\"=\"y\"\n");
    const char* kKey = "software\\KELMORA";
    EXPECT_EQ(ReadValue(kKey, "").data, "default\0"s);
    EXPECT_EQ(ReadValue(kKey, "greedy").data,
              "\xC3\x9C"
              "ber \xC3\xA9t\xC3\xA9 \xE4\x86\xBC"
              "D\0"s);
    EXPECT_EQ(ReadValue(kKey, "Surrogates").data, "\xF0\x9F\x98\x80 \xEF\xBF\xBDx\0"s);
    EXPECT_EQ(ReadValue(kKey, "Escapes").data, "A0 a\tb\nc\rd\\e\"fqx\0"s);
    EXPECT_EQ(ReadValue(kKey, "Raw").data, "D\xC3\xA9j\xC3\xA0\0"s);
    EXPECT_EQ(ReadValue(kKey, "Bin").data, "\x01\x02\xAB\xFF"s);
    EXPECT_EQ(ReadValue(kKey, "Utf16").data, "C:\\\0"s);
    EXPECT_EQ(ReadValue(kKey, "Utf16Ended").data, "C\0"s);
    ReadResult expand = ReadValue(kKey, "Expand16");
    EXPECT_EQ(expand.type, kRegExpandSz);
    EXPECT_EQ(expand.data, "%\0"s);
    EXPECT_EQ(ReadValue(kKey, "Dword").data, "\xFE\xFF\xFF\xFF"s);
    EXPECT_EQ(ReadValue("Software\\Kelmora\\Sub[1]", "x").data, "y\0"s);
}

TEST_F(RegistryTest, ThirtyTwoBitViewPrefersWow6432NodeAndFollowsLinks) {
    UseSystemReg(
        "WINE REGISTRY Version 2\n"
        "[Software\\\\Kelmora] 1\n\"Where\"=\"64\"\n"
        "[Software\\\\Wow6432Node\\\\Kelmora] 1\n\"Where\"=\"32\"\n"
        "[Software\\\\Shared] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
        HexUtf16("\\Registry\\Machine\\Software\\Kelmora") +
        "\n"
        "[Software\\\\Loop] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
        HexUtf16("\\Registry\\Machine\\Software\\Loop") + "\n");
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Where").data, "32\0"s);
    EXPECT_EQ(ReadValue("Software\\Shared", "Where").data, "64\0"s);
    EXPECT_EQ(ReadValue("Software\\Loop", "Where").code, kErrorFileNotFound);

    RegKey software = 0;
    RegKey kelmora = 0;
    ASSERT_EQ(RegOpenKeyExA(kHKeyLocalMachine, "Software", 0, kKeyRead, &software), kErrorSuccess);
    ASSERT_EQ(RegOpenKeyExA(software, "kelmora", 0, kKeyRead, &kelmora), kErrorSuccess);
    char where[3] = {};
    std::uint32_t size = sizeof where;
    EXPECT_EQ(RegQueryValueExA(kelmora, "where", nullptr, nullptr,
                               reinterpret_cast<std::uint8_t*>(where), &size),
              kErrorSuccess);
    EXPECT_STREQ(where, "32");
    RegCloseKey(kelmora);
    RegCloseKey(software);
}

TEST_F(RegistryTest, DamagedLinesAreNotFoundAndTheRestIsRead) {
    UseSystemReg(
        "WINE REGISTRY Version 2\n"
        "[Software\\\\Kelmora] 1\n"
        "\"Truncated\"=\"C:\\\\Cav\n"
        "\"BadByte\"=hex:01,1ff\n"
        "\"BadDword\"=dword:1234z\n"
        "\"BadType\"=hex(zz):01\n"
        "\"NoEquals\" \"x\"\n"
        "\"Good\"=\"yes\"\n"
        "[Software\\\\Broken 1\n"
        "\"Orphan\"=\"lost\"\n"
        "[Software\\\\Kelmora\\\\Later] 1\n"
        "\"Fine\"=\"ok\"\0junk\n"s
        "\"Tail\"=hex:01,\\\n");
    for (const char* name : {"Truncated", "BadByte", "BadDword", "BadType", "NoEquals", "Orphan"}) {
        EXPECT_EQ(ReadValue("Software\\Kelmora", name).code, kErrorFileNotFound) << name;
    }
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Good").data, "yes\0"s);
    EXPECT_EQ(ReadValue("Software\\Kelmora\\Later", "Fine").data, "ok\0"s);
    EXPECT_EQ(ReadValue("Software\\Kelmora\\Later", "Tail").code, kErrorFileNotFound);
}

TEST_F(RegistryTest, MissingPrefixFileHeaderKeyOrValueIsNotFound) {
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Dir").code, kErrorFileNotFound);
    UseSystemReg("WINE REGISTRY Version 1\n[Software\\\\Kelmora] 1\n\"Dir\"=\"c:\\\\ta\"\n");
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Dir").code, kErrorFileNotFound);
    UseSystemReg("WINE REGISTRY Version 2\n[Software\\\\Kelmora] 1\n\"Dir\"=\"c:\\\\ta\"\n");
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Dir").code, kErrorSuccess);
    EXPECT_EQ(ReadValue("Software\\Kelmora", "Path").code, kErrorFileNotFound);
    EXPECT_EQ(ReadValue("Software\\Kelmora\\Sub", "Dir").code, kErrorFileNotFound);

    testing::ScopedEnv noPrefix("WINEPREFIX", testing::HostText(DriveC() / "no-prefix"));
    RegKey key = 123;
    EXPECT_EQ(RegOpenKeyExA(kHKeyLocalMachine, "Software\\Kelmora", 0, 0x3F, &key),
              kErrorFileNotFound);
    EXPECT_EQ(key, 0u);
}

// The registry calls over whichever registry the host has.
using RegistryCallsTest = testing::FakeMachineTest;

TEST_F(RegistryCallsTest, QueriesReportSizesAndRefuseSmallBuffersAndBadHandles) {
    machine_.SetText("Software\\Kelmora", "Dir", "c:\\ta");
    RegKey key = 0;
    ASSERT_EQ(RegOpenKeyExA(kHKeyLocalMachine, "Software\\Kelmora", 0, 0x3F, &key), kErrorSuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 6u);

    std::uint8_t buffer[6] = {'#', '#', '#', '#', '#', '#'};
    size = 5;
    EXPECT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, buffer, &size), kErrorSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), "c:\\ta\0"s);

    EXPECT_EQ(RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(RegQueryValueExA(key, "Dir", nullptr, &type, nullptr, &size), kErrorInvalidHandle);
    EXPECT_EQ(RegCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(RegQueryValueExA(0, "Dir", nullptr, &type, nullptr, &size), kErrorInvalidHandle);
    EXPECT_EQ(RegCloseKey(0), kErrorInvalidHandle);
}

#ifdef _WIN32
// A key of the test's own in one view of the machine's registry, volatile and removed at the end.
class ScopedMachineKey {
public:
    ScopedMachineKey(const std::wstring& path, REGSAM view, const wchar_t* dir)
        : path_(path), view_(view) {
        HKEY key = nullptr;
        created_ =
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_SET_VALUE | view, nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (!created_) return;
        ::RegSetValueExW(key, L"Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir),
                         static_cast<DWORD>((wcslen(dir) + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    ~ScopedMachineKey() {
        if (created_) ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view_, 0);
    }
    bool created() const { return created_; }

private:
    std::wstring path_;
    REGSAM view_;
    bool created_ = false;
};
#endif

// The game's setup is a 32-bit program, whose key a 64-bit Windows keeps in its 32-bit view; a
// key only in the 64-bit view is found too.
TEST(RegistryViewsTest, TheThirtyTwoBitViewComesFirstThenTheSixtyFourBitView) {
#ifndef _WIN32
    GTEST_SKIP() << "a Wine prefix's views are its system.reg's (RegistryTest.ThirtyTwoBitView...)";
#else
    const std::string name = "Software\\kelmora-test-" + std::to_string(std::random_device{}());
    const std::wstring wide(name.begin(), name.end());
    const ScopedMachineKey sixtyFour(wide, KEY_WOW64_64KEY, L"64-bit view");
    if (!sixtyFour.created()) GTEST_SKIP() << "this account may not write HKEY_LOCAL_MACHINE";
    EXPECT_EQ(ReadValue(name, "Dir").data, "64-bit view\0"s);
    const ScopedMachineKey thirtyTwo(wide, KEY_WOW64_32KEY, L"32-bit view");
    ASSERT_TRUE(thirtyTwo.created());
    EXPECT_EQ(ReadValue(name, "Dir").data, "32-bit view\0"s);
#endif
}

TEST(WineRegistryParseTest, HugeLinesAndJunkNeverCrash) {
    const std::string huge(8 << 20, 'a');
    WineRegistry big = WineRegistry::Parse("WINE REGISTRY Version 2\n[K] 1\n\"V\"=\"" + huge +
                                           "\"\n\"W\"=\"" + huge);
    ASSERT_TRUE(big.FindKey("k"));
    ASSERT_NE(big.FindValue("k", "v"), nullptr);
    EXPECT_EQ(big.FindValue("k", "v")->data.size(), 2 * huge.size() + 2);
    EXPECT_EQ(big.FindValue("k", "w"), nullptr);

    const std::string sample =
        "WINE REGISTRY Version 2\n[Software\\\\K\\[x\\]] 1\n#link\n@=\"\\x00dc\\101\"\n"
        "\"B\"=hex(7):41,00,00,00,\\\n  00,00\n\"D\"=dword:00000001\n\"S\"=str(7):\"a\\0\"\n";
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = sample.substr(0, random() % (sample.size() + 1));
        for (int flips = random() % 4; flips > 0 && !damaged.empty(); --flips) {
            damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        WineRegistry registry = WineRegistry::Parse(damaged);
        if (auto key = registry.FindKey("Software\\K[x]")) registry.FindValue(*key, "B");
    }
}

}  // namespace
}  // namespace kelmora
