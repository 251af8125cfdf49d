#include "base/path.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Text, CopyCutsToCapacityLessOneAndTerminates) {
    char buffer[6];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(5u, copyText(buffer, sizeof buffer, "abcdefgh"));
    EXPECT_STREQ("abcde", buffer);

    EXPECT_EQ(3u, copyText(buffer, sizeof buffer, "abc"));
    EXPECT_STREQ("abc", buffer);

    EXPECT_EQ(0u, copyText(buffer, sizeof buffer, nullptr));
    EXPECT_STREQ("", buffer);

    EXPECT_EQ(2u, copyTextN(buffer, sizeof buffer, "abcdef", 2));
    EXPECT_STREQ("ab", buffer);
    // A count beyond the source stops at its terminator.
    EXPECT_EQ(2u, copyTextN(buffer, sizeof buffer, "ab", 100));
}

TEST(Text, AppendAndFormatNeverOverrun) {
    char buffer[8] = "abc";
    EXPECT_EQ(7u, appendText(buffer, sizeof buffer, "defghij"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(7u, appendText(buffer, sizeof buffer, "more"));
    EXPECT_STREQ("abcdefg", buffer);

    char small[5];
    EXPECT_EQ(4u, formatText(small, sizeof small, "%d-%s", 12345, "x"));
    EXPECT_STREQ("1234", small);
    EXPECT_EQ(3u, formatText(small, sizeof small, "%s", "abc"));
    EXPECT_STREQ("abc", small);
}

TEST(Text, TrailingBackslash) {
    char folder[16] = "C:\\a";
    EXPECT_TRUE(ensureTrailingBackslash(folder, sizeof folder));
    EXPECT_STREQ("C:\\a\\", folder);
    EXPECT_TRUE(ensureTrailingBackslash(folder, sizeof folder));
    EXPECT_STREQ("C:\\a\\", folder);

    char empty[4] = "";
    EXPECT_FALSE(ensureTrailingBackslash(empty, sizeof empty));
    EXPECT_STREQ("", empty);

    // No room for the backslash: the text stays as it was.
    char full[4] = "abc";
    EXPECT_FALSE(ensureTrailingBackslash(full, sizeof full));
    EXPECT_STREQ("abc", full);
}

TEST(Text, LeadingIntegersAsAtoiReadsThem) {
    int value = -1;
    EXPECT_TRUE(parseLeadingInt(" \t\r\n42abc", value));
    EXPECT_EQ(42, value);
    EXPECT_TRUE(parseLeadingInt("-7", value));
    EXPECT_EQ(-7, value);
    EXPECT_TRUE(parseLeadingInt("+0009", value));
    EXPECT_EQ(9, value);
    EXPECT_TRUE(parseLeadingInt("99999999999999999999", value));
    EXPECT_EQ(2147483647, value);
    EXPECT_TRUE(parseLeadingInt("-99999999999999999999", value));
    EXPECT_EQ(-2147483647 - 1, value);
    EXPECT_FALSE(parseLeadingInt("", value));
    EXPECT_EQ(0, value);
    EXPECT_FALSE(parseLeadingInt("- 5", value));
    EXPECT_FALSE(parseLeadingInt("x5", value));
}

TEST(Text, PrefixesIgnoringCase) {
    EXPECT_EQ(7u, matchPrefixIgnoringCase("HTTP://host", "http://"));
    EXPECT_EQ(10u, matchPrefixIgnoringCase("=?KOI8-R?B?xyz", "=?koi8-r?b"));
    EXPECT_EQ(0u, matchPrefixIgnoringCase("ftp://", "http://"));
    EXPECT_EQ(0u, matchPrefixIgnoringCase("htt", "http"));
}

TEST(Text, FindByteFindsTheFirstAsMemchrDoes) {
    // Every start and length in a buffer where the byte sought stands beside
    // its neighbours in value (a word-wise search must not take those), and
    // bytes above 0x7F and NULs that are no ends.
    const unsigned char bytes[] = {';',  0x3A, 0x3C, 0x00, 0xBB, ';',  0xFF, 0x80, 0x01, 'a',
                                   'b',  'c',  'd',  'e',  'f',  'g',  'h',  ';',  0x7F, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, ';'};
    const char* text = reinterpret_cast<const char*>(bytes);
    for (char sought : {';', '\xFF', '\0', 'h', '<'}) {
        for (size_t start = 0; start <= sizeof bytes; start++) {
            for (size_t size = 0; start + size <= sizeof bytes; size++) {
                const void* expected = memchr(text + start, sought, size);
                EXPECT_EQ(expected, findByte(text + start, sought, size)) << int(sought) << " " << start << " " << size;
            }
        }
    }
}

TEST(JoinPath, FitsOrLeavesNothing) {
    char path[16];
    EXPECT_TRUE(joinPath(path, sizeof path, "C:\\K\\", "Mail.txt"));
    EXPECT_STREQ("C:\\K\\Mail.txt", path);
    // 15 characters and the terminator fill the buffer exactly.
    EXPECT_TRUE(joinPath(path, sizeof path, "C:\\Korvel\\", "a.txt"));
    EXPECT_STREQ("C:\\Korvel\\a.txt", path);
    // One more would be cut: refused, and no cut name is left behind.
    EXPECT_FALSE(joinPath(path, sizeof path, "C:\\Korvel\\", "ab.txt"));
    EXPECT_STREQ("", path);
}

TEST(AppendPathItem, OneSeparatorAndNeverCut) {
    // 16 characters and the terminator.
    char folder[17] = "C:\\Users";
    EXPECT_TRUE(appendPathItem(folder, sizeof folder, "Korvel\\"));
    EXPECT_STREQ("C:\\Users\\Korvel\\", folder);
    char root[16] = "D:\\";
    EXPECT_TRUE(appendPathItem(root, sizeof root, "Korvel\\"));
    EXPECT_STREQ("D:\\Korvel\\", root);
    // One character more than the buffer holds: the folder stays as it was.
    char tooLong[16] = "C:\\Users";
    EXPECT_FALSE(appendPathItem(tooLong, sizeof tooLong, "Korvel\\"));
    EXPECT_STREQ("C:\\Users", tooLong);
}
