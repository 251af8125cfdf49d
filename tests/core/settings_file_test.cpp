#include "core/agent_state.h"
#include "core/settings_file.h"
#include "base/text.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

// Points the agent's service folder at a scratch folder for one test.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str()); }
    std::string ini() const { return dir / "Korvel.ini"; }

    TempFolder dir;
};

} // namespace

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
    gAgent.settings.interval = 99;
    gAgent.settings.blink = 1;
    readSettings();
    EXPECT_EQ(15, gAgent.settings.interval);
    EXPECT_EQ(0, gAgent.settings.blink);
    EXPECT_EQ(10, gAgent.settings.kolBlink);
    EXPECT_EQ(0, gAgent.settings.winStyle);
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize);
    EXPECT_STREQ(kDefaultUpdateServer, gAgent.settings.updateServer);
    EXPECT_STREQ(kDefaultMessageServer, gAgent.settings.messageServer);
    ViewerRect r = readViewerRect("WinPos");
    EXPECT_EQ(250, r.left);
    EXPECT_EQ(250, r.top);
    EXPECT_EQ(750, r.right);
    EXPECT_EQ(550, r.bottom);
    EXPECT_FALSE(fileExists(ini())); // reading never creates the file
}

TEST_F(SettingsTest, StoredValuesAreReadWithTheirLimits) {
    ASSERT_TRUE(writeFile(ini(), "[Korvel]\r\n"
                                 "Interval=30\r\n"
                                 "KolBlink=3\r\n"
                                 "Blink=1\r\n"
                                 "WinStyle=1\r\n"
                                 "NewVersion=12\r\n"
                                 "VersionSize=250000\r\n"
                                 "UpdateServer=http://127.0.0.1:8080\r\n"
                                 "MessageServer=http://127.0.0.1:8081/mess/\r\n"));
    readSettings();
    EXPECT_EQ(30, gAgent.settings.interval);
    EXPECT_EQ(10, gAgent.settings.kolBlink);
    EXPECT_EQ(1, gAgent.settings.blink);
    EXPECT_EQ(1, gAgent.settings.winStyle);
    EXPECT_EQ(12, gAgent.settings.newVersion);
    EXPECT_EQ(250000, gAgent.settings.versionSize);
    EXPECT_STREQ("http://127.0.0.1:8080/", gAgent.settings.updateServer);
    EXPECT_STREQ("http://127.0.0.1:8081/mess/", gAgent.settings.messageServer);
}

TEST_F(SettingsTest, KolBlinkFortyIsKept) {
    ASSERT_TRUE(writeFile(ini(), "[Korvel]\r\nKolBlink=40\r\nInterval=0\r\n"));
    readSettings();
    EXPECT_EQ(40, gAgent.settings.kolBlink);
    EXPECT_EQ(15, gAgent.settings.interval);
}

TEST_F(SettingsTest, UserSettingsAreWrittenAndReadBack) {
    readSettings();
    gAgent.settings.blink = 1;
    gAgent.settings.kolBlink = 25;
    gAgent.settings.interval = 5;
    saveUserSettings();
    std::string text = readFile(ini());
    EXPECT_NE(std::string::npos, text.find("[Korvel]")) << text;
    EXPECT_NE(std::string::npos, text.find("Blink=1")) << text;
    EXPECT_NE(std::string::npos, text.find("KolBlink=25")) << text;
    EXPECT_NE(std::string::npos, text.find("Interval=5")) << text;

    gAgent.settings = SettingsValues();
    readSettings();
    EXPECT_EQ(1, gAgent.settings.blink);
    EXPECT_EQ(25, gAgent.settings.kolBlink);
    EXPECT_EQ(5, gAgent.settings.interval);
}

TEST_F(SettingsTest, ViewerRectanglesAndStyleRoundTrip) {
    saveViewerRect(ViewerRect{10, 20, 610, 420}, 1, "WinPos");
    saveViewerRect(ViewerRect{-5, 0, 300, 200}, 0, "WinPosInv");
    ViewerRect shown = readViewerRect("WinPos");
    EXPECT_EQ(10, shown.left);
    EXPECT_EQ(20, shown.top);
    EXPECT_EQ(610, shown.right);
    EXPECT_EQ(420, shown.bottom);
    ViewerRect other = readViewerRect("WinPosInv");
    EXPECT_EQ(-5, other.left);
    EXPECT_EQ(300, other.right);
    // The last write also stored the style.
    readSettings();
    EXPECT_EQ(0, gAgent.settings.winStyle);
    saveViewerRect(shown, 1, "WinPos");
    readSettings();
    EXPECT_EQ(1, gAgent.settings.winStyle);
}

TEST_F(SettingsTest, AnnouncedVersionIsWritten) {
    gAgent.settings.newVersion = 12;
    gAgent.settings.versionSize = 250000;
    saveAnnouncedVersion();
    std::string text = readFile(ini());
    EXPECT_NE(std::string::npos, text.find("NewVersion=12")) << text;
    EXPECT_NE(std::string::npos, text.find("VersionSize=250000")) << text;

    // A stored hash is read in lower case; a broken one is none.
    for (char digit : {'C', 'G'}) {
        ASSERT_TRUE(writeFile(ini(), "[Korvel]\r\nVersionHash=" + std::string(64, digit) + "\r\n"));
        readSettings();
        EXPECT_EQ(digit == 'C' ? std::string(64, 'c') : "", gAgent.settings.versionHash);
    }
}
