#include "base/log_prefix.h"

#include <gtest/gtest.h>

TEST(LogPrefix, PlainNumbersWithoutLeadingZeros) {
    char buffer[kLogPrefixCapacity];
    EXPECT_EQ(17u, formatLogPrefix(buffer, sizeof buffer, LogTime{1, 3, 2009, 7, 4, 9}));
    EXPECT_STREQ("1.3.2009 7:4:9 - ", buffer);

    formatLogPrefix(buffer, sizeof buffer, LogTime{31, 12, 2026, 23, 59, 58});
    EXPECT_STREQ("31.12.2026 23:59:58 - ", buffer);

    formatLogPrefix(buffer, sizeof buffer, LogTime{10, 10, 2010, 0, 0, 0});
    EXPECT_STREQ("10.10.2010 0:0:0 - ", buffer);
}

TEST(LogPrefix, SmallBufferIsCutNotOverrun) {
    char buffer[8];
    EXPECT_EQ(7u, formatLogPrefix(buffer, sizeof buffer, LogTime{1, 3, 2009, 7, 4, 9}));
    EXPECT_STREQ("1.3.200", buffer);
}
