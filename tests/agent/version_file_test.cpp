#include "agent/version_file.h"

#include <gtest/gtest.h>

#include <string>

TEST(VersionFileText, NumberAndOptionalSize) {
    VersionFile f = parseVersionFile("12,250000", 9);
    EXPECT_TRUE(f.valid);
    EXPECT_EQ(12, f.version);
    EXPECT_TRUE(f.hasSize);
    EXPECT_EQ(250000, f.size);

    f = parseVersionFile("12\r\n", 4);
    EXPECT_TRUE(f.valid);
    EXPECT_FALSE(f.hasSize);

    EXPECT_FALSE(parseVersionFile("12", 2).valid); // two bytes are not a version file
    EXPECT_FALSE(parseVersionFile("", 0).valid);
    f = parseVersionFile("<html>", 6);
    EXPECT_TRUE(f.valid);
    EXPECT_EQ(0, f.version);
}

TEST(VersionFileText, NumbersThatDoNotFitMakeItInvalid) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {std::string(260, '9'), false},
        {"2147483648", false},
        {"-2147483649", false},
        {"12," + std::string(200, '7'), false},
        {"12,2147483648", false},
        {"2147483647,2147483647", false},
        {"-2147483648", true},
        {"00000000000000000000012", true},
        // A version above any a program has, an updater above its limit.
        {"65535,67108864", true},
        {"65536", false},
        {"12,67108865", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.valid, parseVersionFile(c.text.data(), c.text.size()).valid);
    }
    EXPECT_EQ(12, parseVersionFile("00000000000000000000012", 23).version);
}

TEST(VersionFileText, AHashAfterASecondComma) {
    const std::string hash(64, 'A');
    struct Case {
        std::string text;
        bool valid;
        std::string hash;
    };
    const Case cases[] = {
        {"12,250000," + hash + "\r\n", true, std::string(64, 'a')},
        {"12,250000, " + hash, true, std::string(64, 'a')},
        {"12,250000", true, ""},
        {"12,250000," + hash.substr(1), false, ""},
        {"12,250000," + hash + "0", false, ""},
        {"12,250000," + std::string(63, 'a') + "g", false, ""},
        {"12,250000,", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VersionFile f = parseVersionFile(c.text.data(), c.text.size());
        EXPECT_EQ(c.valid, f.valid);
        EXPECT_EQ(c.hash, f.hash);
        if (c.valid) {
            EXPECT_EQ(250000, f.size); // what an agent without hashes reads too
        }
    }
}
