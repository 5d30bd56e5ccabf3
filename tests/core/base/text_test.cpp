// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace corvel {
namespace {

// The key computed step by step from the rule, as a second opinion on the implementation.
uint32_t ReferenceHash(const std::string& s) {
    uint32_t h = static_cast<uint32_t>(s.size());
    const size_t step = s.size() / 32 + 1;
    std::vector<size_t> indices;
    for (long i = static_cast<long>(s.size()); i >= static_cast<long>(step); i -= static_cast<long>(step)) {
        indices.push_back(static_cast<size_t>(i));
    }
    for (size_t i : indices)
        h = h ^ (h * 32u + h / 4u + static_cast<uint32_t>(static_cast<int8_t>(s[i - 1])));
    return h;
}

TEST(NameHash, FixedValuesWorkedByHand) {
    EXPECT_EQ(NameHash(""), 0u);
    // "A": h = 1; h ^= 1*32 + 0 + 65 = 97 -> 1 ^ 97 = 96.
    EXPECT_EQ(NameHash("A"), 96u);
    // "AB": h = 2; i=2 'B': 2 ^ (64 + 0 + 66) = 2 ^ 130 = 128; i=1 'A': 128 ^ (4096 + 32 + 65) = 128 ^ 4193 =
    // 4321.
    EXPECT_EQ(NameHash("AB"), 4321u);
    // A byte above 0x7F counts as negative: "\xFF": h = 1; 1 ^ (32 + 0 - 1) = 1 ^ 31 = 30.
    EXPECT_EQ(NameHash("\xFF"), 30u);
}

TEST(NameHash, StepIsOneUpTo31CharactersAndTwoFrom32) {
    const std::string name31(31, 'x');
    std::string name31b = name31;
    name31b[0] = 'y';  // index 0 is read with step 1 ...
    EXPECT_NE(NameHash(name31), NameHash(name31b));
    EXPECT_EQ(NameHash(name31), ReferenceHash(name31));

    std::string name32(32, 'x');
    std::string name32b = name32;
    name32b[0] = 'y';  // ... but with step 2 only odd indices (i - 1 = 31, 29, ..., 1) are read
    EXPECT_EQ(NameHash(name32), NameHash(name32b));
    name32b[1] = 'z';
    EXPECT_NE(NameHash(name32), NameHash(name32b));
    EXPECT_EQ(NameHash(name32), ReferenceHash(name32));
    const std::string name63 = "DEVICE-0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ-abcdefghijklmnopq";
    EXPECT_EQ(NameHash(name63), ReferenceHash(name63));
}

TEST(FieldText, StopsAtTheFieldEndWhenTheNulIsMissing) {
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(field, sizeof(field)), "abcd");
    const char shorter[4] = {'a', 0, 'c', 'd'};
    EXPECT_EQ(FieldText(shorter, sizeof(shorter)), "a");
    char out[4];
    StoreFieldText(out, sizeof(out), "abcdef");
    EXPECT_EQ(std::string(out), "abc");
    StoreFieldText(out, sizeof(out), "a");
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[3], 0);
}

TEST(Utf16ToUtf8, ConvertsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"rec/\u00e9t\u00e9.avi"), "rec/\xc3\xa9t\xc3\xa9.avi");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    const char16_t lone[] = {0xD800, u'a', 0};
    EXPECT_EQ(Utf16ToUtf8(lone),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(Utf16ToUtf8(u"abcdef", 3), "abc");
}

class MakeDirectoryPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvel-mkdir-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    std::u16string Root() const { return std::u16string(root_.begin(), root_.end()); }
    std::string root_;
};

TEST_F(MakeDirectoryPathTest, CreatesEveryFolderButNotTheFile) {
    EXPECT_TRUE(MakeDirectoryPath((Root() + u"/a/b\\c/file.avi").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(root_ + "/a/b/c"));
    EXPECT_FALSE(std::filesystem::exists(root_ + "/a/b/c/file.avi"));
    // Existing folders are fine the second time.
    EXPECT_TRUE(MakeDirectoryPath((Root() + u"/a/b\\c/file.avi").c_str()));
}

TEST_F(MakeDirectoryPathTest, FailsWhenAFileStandsWhereAFolderShould) {
    const std::string blocker = root_ + "/plain";
    FILE* file = fopen(blocker.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    EXPECT_FALSE(MakeDirectoryPath((Root() + u"/plain/x.avi").c_str()));
}

}  // namespace
}  // namespace corvel
