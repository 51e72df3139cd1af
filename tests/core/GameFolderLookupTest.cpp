#include <gtest/gtest.h>

#include "core/GameFolderLookup.h"
#include "support/FakeGamePrefix.h"

namespace kelmora {
namespace {

std::string GameFolderIn(const testing::FakeWinePrefix& prefix, const std::string& valueLine) {
    prefix.WriteGameKey(valueLine);
    return ReadRegistryText(kGameUninstallKey, kGameFolderValue);
}

TEST(GameFolderLookupTest, GivesTheFolderAsStored) {
    testing::FakeWinePrefix prefix;
    EXPECT_EQ(GameFolderIn(prefix, R"("dir"="c:\\Jeux\\D\xe9j\xe0 Vu\\")"),
              "c:\\Jeux\\D\xc3\xa9j\xc3\xa0 Vu\\");
}

TEST(GameFolderLookupTest, AFolderEndsAtItsFirstNul) {
    testing::FakeWinePrefix prefix;
    EXPECT_EQ(GameFolderIn(prefix, R"("Dir"="C:\\TA\0C:\\Elsewhere")"), "C:\\TA");
}

TEST(GameFolderLookupTest, ANumberIsNoFolder) {
    testing::FakeWinePrefix prefix;
    EXPECT_EQ(GameFolderIn(prefix, R"("Dir"=dword:00000001)"), "");
}

}  // namespace
}  // namespace kelmora
