#include "store/mail_date.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Sets the C runtime's time zone for one test and restores the old setting.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        const char* old = getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        set(tz);
    }
    ~TimeZone() { set(hadOld_ ? old_.c_str() : nullptr); }

private:
    static void set(const char* tz) {
#ifdef _WIN32
        std::string assignment = std::string("TZ=") + (tz ? tz : "");
        _putenv(assignment.c_str());
        _tzset();
#else
        if (tz) {
            setenv("TZ", tz, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
#endif
    }

    bool hadOld_ = false;
    std::string old_;
};

std::string shown(const std::string& stored) {
    char text[260];
    snprintf(text, sizeof text, "%s", stored.c_str());
    bool ok = formatMailDate(text, sizeof text);
    EXPECT_EQ(ok, std::string(text) != kUnknownMailDate) << text;
    return text;
}

// 2 January 2009, 14:05:09, counted as if it were UTC.
constexpr int64_t kJan2 = 1230905109;
constexpr int64_t kFeb2 = kJan2 + 31 * 86400;

// The stored value that a zone eastOffset seconds east of UTC, without
// daylight saving, shows as the wall-clock time wallAsUtc: the stored value
// is shifted by the bias once and the local conversion shifts it again.
std::string storedFor(int64_t wallAsUtc, int64_t eastOffset) {
    return std::to_string(wallAsUtc - 2 * eastOffset);
}

} // namespace

TEST(MailDate, ClockTextBecomesTheShownDate) {
    char out[260];
    EXPECT_TRUE(shownDateFromClockText("Fri Jan 02 14:05:09 2009\n", out, sizeof out));
    // January's name carries its own blank: two blanks before the year.
    EXPECT_STREQ("2 янв  09, 14:05:09", out);
    // The blank-padded day of other runtimes gives the same.
    EXPECT_TRUE(shownDateFromClockText("Fri Jan  2 14:05:09 2009\n", out, sizeof out));
    EXPECT_STREQ("2 янв  09, 14:05:09", out);
    EXPECT_TRUE(shownDateFromClockText("Mon Feb 02 14:05:09 2009\n", out, sizeof out));
    EXPECT_STREQ("2 Фев 09, 14:05:09", out);
    EXPECT_TRUE(shownDateFromClockText("Sun Dec 31 23:59:59 2000", out, sizeof out));
    EXPECT_STREQ("31 дек 00, 23:59:59", out);
    EXPECT_TRUE(shownDateFromClockText("Thu,May\t10\t01:02:03,1990", out, sizeof out));
    EXPECT_STREQ("10 май 90, 01:02:03", out);

    const char* bad[] = {"", "Fri Jan 02 14:05:09", "Fri jan 02 14:05:09 2009", "Fri Xyz 02 14:05:09 2009",
                         "Fri Jan 02 14:05:09 20"};
    for (const char* text : bad) {
        EXPECT_FALSE(shownDateFromClockText(text, out, sizeof out)) << text;
        EXPECT_STREQ(kUnknownMailDate, out) << text;
    }
    // A result too short to be a date.
    EXPECT_FALSE(shownDateFromClockText("x Feb 1 2 200", out, sizeof out));
    EXPECT_STREQ(kUnknownMailDate, out);
}

TEST(MailDate, StoredDatesShowInTheRuntimeTimeZone) {
    {
        TimeZone zone("MSK-3");
        EXPECT_EQ("2 янв  09, 14:05:09", shown(storedFor(kJan2, 3 * 3600)));
        EXPECT_EQ("2 Фев 09, 14:05:09", shown(storedFor(kFeb2, 3 * 3600)));
        // Date "0" east of UTC: the instant 0 less the bias, shown as local time.
        EXPECT_EQ("1 янв  70, 06:00:00", shown("0"));
    }
    {
        TimeZone zone("UTC0");
        EXPECT_EQ("2 янв  09, 14:05:09", shown(storedFor(kJan2, 0)));
        EXPECT_EQ(kUnknownMailDate, shown("9223372036854775807"));
        EXPECT_EQ("1 янв  70, 00:00:00", shown("0"));
    }
    {
        TimeZone zone("EST5");
        EXPECT_EQ("2 Фев 09, 14:05:09", shown(storedFor(kFeb2, -5 * 3600)));
        // West of UTC the date "0" lies before the epoch: not convertible.
        EXPECT_EQ(kUnknownMailDate, shown("0"));
        EXPECT_EQ(kUnknownMailDate, shown("17999"));
        EXPECT_EQ("1 янв  70, 00:00:00", shown("36000"));
    }
    {
        // The largest stored value less an eastern bias must not overflow.
        TimeZone zone("MSK-3");
        EXPECT_EQ(kUnknownMailDate, shown("9223372036854775807"));
    }
}

TEST(MailDate, TextsThatAreNoDateShowTheUnknownDate) {
    TimeZone zone("UTC0");
    for (const char* stored : {"", "abc", "-5", "99999999999999999999999", "32535244800", " 5"}) {
        EXPECT_EQ(kUnknownMailDate, shown(stored)) << stored;
    }
    // Trailing text after the digits is ignored, as the runtime's number
    // conversion does.
    EXPECT_EQ("2 янв  09, 14:05:09", shown(std::to_string(kJan2) + "xyz"));
    EXPECT_EQ("31 дек 00, 23:59:59", shown("32535215999"));

    char small[8] = "1";
    EXPECT_TRUE(formatMailDate(small, sizeof small));
    EXPECT_STREQ("1 янв  ", small); // cut to the buffer
}
