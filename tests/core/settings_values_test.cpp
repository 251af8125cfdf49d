#include "core/settings_values.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

SettingsValues normalised(SettingsValues v) {
    normaliseSettings(v);
    return v;
}

} // namespace

TEST(SettingsValues, DefaultsAreTheFirstStartValues) {
    SettingsValues v = normalised(SettingsValues());
    EXPECT_EQ(15, v.interval);
    EXPECT_EQ(10, v.kolBlink);
    EXPECT_EQ(0, v.blink);
    EXPECT_EQ(0, v.winStyle);
    EXPECT_EQ(kProgramVersion, v.newVersion);
    EXPECT_EQ(0, v.versionSize);
    ViewerRect r;
    EXPECT_EQ(250, r.left);
    EXPECT_EQ(250, r.top);
    EXPECT_EQ(750, r.right);
    EXPECT_EQ(550, r.bottom);
}

TEST(SettingsValues, BlinkCyclesHaveAFloorOfTenAndACeiling) {
    SettingsValues v;
    v.kolBlink = 3;
    EXPECT_EQ(10, normalised(v).kolBlink);
    v.kolBlink = 40;
    EXPECT_EQ(40, normalised(v).kolBlink);
    v.kolBlink = -7;
    EXPECT_EQ(10, normalised(v).kolBlink);
    v.kolBlink = 1000;
    EXPECT_EQ(99, normalised(v).kolBlink);
}

TEST(SettingsValues, IntervalOutsideTheOfferedRange) {
    SettingsValues v;
    v.interval = 0; // would poll without pause
    EXPECT_EQ(15, normalised(v).interval);
    v.interval = -5;
    EXPECT_EQ(15, normalised(v).interval);
    v.interval = 1;
    EXPECT_EQ(1, normalised(v).interval);
    v.interval = 120;
    EXPECT_EQ(120, normalised(v).interval);
    v.interval = 100000; // also keeps Interval x 60000 ms within a timer's range
    EXPECT_EQ(120, normalised(v).interval);
}

TEST(SettingsValues, SwitchesVersionAndSize) {
    SettingsValues v;
    v.blink = 7;
    v.winStyle = -1;
    v.newVersion = 3;
    v.versionSize = 5000;
    SettingsValues n = normalised(v);
    EXPECT_EQ(1, n.blink);
    EXPECT_EQ(1, n.winStyle);
    EXPECT_EQ(kProgramVersion, n.newVersion);
    EXPECT_EQ(0, n.versionSize);

    v.newVersion = 12;
    v.versionSize = 250000;
    n = normalised(v);
    EXPECT_EQ(12, n.newVersion);
    EXPECT_EQ(250000, n.versionSize);

    // Numbers no version file is taken with any more.
    v.newVersion = 2147483647;
    v.versionSize = 2000000000;
    n = normalised(v);
    EXPECT_EQ(kProgramVersion, n.newVersion);
    EXPECT_EQ(0, n.versionSize);
}

TEST(SettingsValues, ServerUrls) {
    struct Case {
        const char* stored;
        const char* used;
    } cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080/"},
        {"  https://example.org/agent/  ", "https://example.org/agent/"},
        {"HTTP://Host/x", "HTTP://Host/x/"},
        {"", "https://fallback/"},
        {"ftp://host/", "https://fallback/"},
        {"http://", "https://fallback/"},
        {"127.0.0.1:8080", "https://fallback/"},
    };
    for (const Case& c : cases) {
        char url[kServerUrlCapacity];
        strcpy(url, c.stored);
        normaliseServerUrl(url, sizeof url, "https://fallback/");
        EXPECT_STREQ(c.used, url) << "stored: '" << c.stored << "'";
    }

    // A full buffer has no room for the slash: the fallback is used.
    char url[12] = "http://abcd";
    normaliseServerUrl(url, sizeof url, "http://f/");
    EXPECT_STREQ("http://f/", url);
}

TEST(SettingsValues, ProfileIntegers) {
    EXPECT_EQ(15, parseProfileInt("15", 7));
    EXPECT_EQ(-250, parseProfileInt("  -250", 7));
    EXPECT_EQ(40, parseProfileInt("+40px", 7));
    EXPECT_EQ(7, parseProfileInt("", 7));
    EXPECT_EQ(7, parseProfileInt("abc", 7));
    EXPECT_EQ(7, parseProfileInt("-", 7));
    EXPECT_EQ(2147483647, parseProfileInt("99999999999999999999", 7));
    EXPECT_EQ(-2147483647 - 1, parseProfileInt("-99999999999999999999", 7));
}
