#include "retrieval/header_date.h"

#include "time_zone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 1 Dec 2009 10:20:30 read as UTC.
constexpr uint32_t kFieldsAsUtc = 1259662830;

class HeaderDate : public ::testing::Test {
protected:
    void SetUp() override { setTimeZone("UTC0"); }
    void TearDown() override { setTimeZone("UTC0"); }

    // Parses value and checks that the buffer holds the returned number.
    static uint32_t parse(const std::string& value) {
        char buffer[2048];
        snprintf(buffer, sizeof buffer, "%s", value.c_str());
        uint32_t seconds = parseHeaderDate(buffer, sizeof buffer);
        EXPECT_EQ(std::to_string(seconds), buffer) << value;
        return seconds;
    }
};

} // namespace

TEST_F(HeaderDate, NumericZonesCorrectTheLocalReading) {
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("Tue, 1 Dec 2009 10:20:30 +0300"));
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("1 Dec 2009 10:20:30 +0300"));
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("Tue, 01 Dec 2009 10:20:30 +0300 (MSK)"));
    EXPECT_EQ(kFieldsAsUtc + 18000, parse("Tue, 1 Dec 2009 10:20:30 -0500"));
    EXPECT_EQ(kFieldsAsUtc - 19800, parse("Tue, 1 Dec 2009 10:20:30 +0530"));
    EXPECT_EQ(kFieldsAsUtc, parse("Tue, 1 Dec 2009 10:20:30 +0000"));
}

TEST_F(HeaderDate, NamedZonesAndCommentsAreNotCorrected) {
    EXPECT_EQ(kFieldsAsUtc, parse("Tue, 1 Dec 2009 10:20:30 GMT"));
    EXPECT_EQ(kFieldsAsUtc, parse("Tue, 1 Dec 2009 10:20:30 (MSK)"));
    // A weekday in Cyrillic is a word as well.
    EXPECT_EQ(kFieldsAsUtc, parse("Вт, 1 Dec 2009 10:20:30 UT"));
}

TEST_F(HeaderDate, LocalStandardTimeShiftsTheNumber) {
    setTimeZone("MSK-3");
    EXPECT_EQ(kFieldsAsUtc - 10800 - 10800, parse("Tue, 1 Dec 2009 10:20:30 +0300"));
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("Tue, 1 Dec 2009 10:20:30 GMT"));
    // A date in summer is still read as standard time.
    EXPECT_EQ(1246443630u - 10800 - 10800, parse("Wed, 1 Jul 2009 10:20:30 +0300"));
}

TEST_F(HeaderDate, SecondsAreOptional) {
    EXPECT_EQ(kFieldsAsUtc - 30 - 10800, parse("Tue, 1 Dec 2009 10:20 +0300"));
    EXPECT_EQ(kFieldsAsUtc - 30, parse("1 Dec 2009 10:20 GMT"));
    // The zone is not: a value ending after the time is not recognised.
    EXPECT_EQ(0u, parse("Tue, 1 Dec 2009 10:20:30"));
    EXPECT_EQ(0u, parse("Tue, 1 Dec 2009 10:20"));
}

TEST_F(HeaderDate, ObsoleteYearsAndMonthSpellings) {
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("Tue, 1 Dec 09 10:20:30 +0300"));
    EXPECT_EQ(kFieldsAsUtc - 10800, parse("Tue, 1 Dec 109 10:20:30 +0300"));
    EXPECT_EQ(944043630u, parse("Wed, 1 Dec 99 10:20:30 +0000"));
    EXPECT_EQ(kFieldsAsUtc, parse("1 dec 2009 10:20:30 +0000"));
    EXPECT_EQ(kFieldsAsUtc, parse("1 DEC 2009 10:20:30 +0000"));
    EXPECT_EQ(0u, parse("1 December 2009 10:20:30 +0000"));
    EXPECT_EQ(0u, parse("1 Dez 2009 10:20:30 +0000"));
}

TEST_F(HeaderDate, OutOfRangeFieldsAreNormalised) {
    EXPECT_EQ(parse("1 Dec 2009 00:00:00 +0000"), parse("31 Nov 2009 00:00:00 +0000"));
    EXPECT_EQ(parse("2 Dec 2009 00:00:00 +0000"), parse("1 Dec 2009 24:00:00 +0000"));
}

TEST_F(HeaderDate, UnrecognisedValuesGiveZero) {
    for (const char* value : {"", "garbage", "Tue,", "Tue, 1 Dec", "1 Jan 1969 10:00:00 +0000",
                              "1 Jan 1970 00:00:00 +0000",    // the instant 0 itself
                              "1 Jan 1970 01:00:00 +0200",    // before it after the zone
                              "1 Jan 2200 00:00:00 +0000"}) { // beyond 32-bit seconds
        EXPECT_EQ(0u, parse(value)) << value;
    }
    // The last second that fits the record.
    EXPECT_EQ(4294967295u, parse("7 Feb 2106 06:28:15 +0000"));
}

TEST_F(HeaderDate, OnlyTheFirst1023CharactersAreRead) {
    EXPECT_EQ(kFieldsAsUtc, parse("1 Dec 2009 10:20:30 GMT" + std::string(3000, ' ') + "x"));
    EXPECT_EQ(0u, parse(std::string(1010, ' ') + "1 Dec 2009 10:20:30 GMT"));

    char small[4] = "abc";
    EXPECT_EQ(0u, parseHeaderDate(small, sizeof small));
    EXPECT_STREQ("0", small);
}
