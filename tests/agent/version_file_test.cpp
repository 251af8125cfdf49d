#include "agent/version_file.h"

#include <gtest/gtest.h>

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
