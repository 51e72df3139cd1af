// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "hpi/HpiTestArchive.h"
#include "hpi/Lz77.h"
#include "hpi/Windows1252.h"

namespace kelmora {
namespace {

TEST(Windows1252, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8 = Windows1252ToUtf8(all);
    auto back = Utf8ToWindows1252(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Windows1252, MapsTheLettersNamesUse) {
    EXPECT_EQ(Windows1252ToUtf8("\xE9\xF3\xB4\x80\x8A\x9F"),
              "\xC3\xA9\xC3\xB3\xC2\xB4\xE2\x82\xAC\xC5\xA0\xC5\xB8");
    EXPECT_EQ(Windows1252ToUtf8("Plain ASCII"), "Plain ASCII");
    EXPECT_EQ(Utf8ToWindows1252("Le\xC3\xB3n caf\xC3\xA9"),
              std::optional<std::string>("Le\xF3n caf\xE9"));
    EXPECT_EQ(Utf8ToWindows1252("\xE2\x80\x9Cquoted\xE2\x80\x9D"),
              std::optional<std::string>("\x93quoted\x94"));
}

TEST(Windows1252, RefusesWhatItCannotHold) {
    EXPECT_FALSE(Utf8ToWindows1252("\xE6\x97\xA5").has_value());      // a CJK character
    EXPECT_FALSE(Utf8ToWindows1252("\xF0\x9F\x98\x80").has_value());  // an emoji
    EXPECT_FALSE(Utf8ToWindows1252("\xC3").has_value());              // cut short
    EXPECT_FALSE(Utf8ToWindows1252("\xC0\xAF").has_value());          // overlong '/'
    EXPECT_FALSE(Utf8ToWindows1252("\xED\xA0\x80").has_value());      // a surrogate
    EXPECT_FALSE(Utf8ToWindows1252("\xE9").has_value());              // Latin-1, not UTF-8
}

std::string RoundTripLz77(const std::string& data) {
    auto encoded = lz77::Encode(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    std::string decoded(data.size(), '\0');
    std::string problem =
        lz77::Decode(encoded.data(), encoded.size(),
                     reinterpret_cast<unsigned char*>(decoded.data()), decoded.size());
    EXPECT_EQ(problem, "");
    return decoded;
}

TEST(Lz77, EncodesAndDecodesEveryKindOfChunk) {
    for (size_t size : {0u, 1u, 2u, 17u, 18u, 4095u, 4096u, 4097u, 65536u}) {
        SCOPED_TRACE(size);
        std::string text = testing::TextBytes(size, 1);
        std::string noise = testing::RandomBytes(size, 2);
        std::string zeros(size, '\0');
        EXPECT_EQ(RoundTripLz77(text), text);
        EXPECT_EQ(RoundTripLz77(noise), noise);
        EXPECT_EQ(RoundTripLz77(zeros), zeros);
    }
    std::string text = testing::TextBytes(65536, 3);
    auto encoded = lz77::Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    EXPECT_LT(encoded.size(), text.size() / 2);
}

TEST(Lz77, DecodesAnOverlappingReferenceAndStopsAtTheSize) {
    // Literal 'a' at window index 1, then a reference to index 1 of 5 bytes: "aaaaaa".
    const unsigned char stream[] = {0b0000'0010, 'a', (1 << 4) | 3, 0x00, 0x00, 0x00, 0xEE};
    unsigned char out[6];
    EXPECT_EQ(lz77::Decode(stream, sizeof stream, out, 6), "");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "aaaaaa");
}

TEST(Lz77, DamagedStreamsSayWhatIsWrong) {
    unsigned char out[16];
    const unsigned char endsEarly[] = {0b0000'0010, 'a', 0x00, 0x00};
    EXPECT_EQ(lz77::Decode(endsEarly, sizeof endsEarly, out, 4),
              "LZ77 data ends before the chunk's decompressed size");
    const unsigned char overruns[] = {0b0000'0010, 'a', (1 << 4) | 15, 0x00};
    EXPECT_EQ(lz77::Decode(overruns, sizeof overruns, out, 8),
              "LZ77 data overruns the chunk's decompressed size");
    const unsigned char noInput[] = {0b0000'0000, 'a', 'b'};
    EXPECT_EQ(lz77::Decode(noInput, sizeof noInput, out, 4), "LZ77 data runs out of input");
    const unsigned char halfReference[] = {0b0000'0001, 0x10};
    EXPECT_EQ(lz77::Decode(halfReference, sizeof halfReference, out, 4),
              "LZ77 data runs out of input");
    EXPECT_EQ(lz77::Decode(nullptr, 0, out, 1), "LZ77 data runs out of input");
}

}  // namespace
}  // namespace kelmora
