#include "telegram/telegram_text.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(TelegramQuery, EveryByteOutsideTheUnreservedSetIsEncoded) {
    EXPECT_EQ("login=ivan&password=Abc-123._~&min_id=5", telegramQuery("ivan", "Abc-123._~", 5));
    // "&", "#", "+", "%", a blank and a Cyrillic letter (Windows-1251 bytes).
    EXPECT_EQ("login=ivan&password=a%26b%23c%2Bd%25e%20f%E6&min_id=0", telegramQuery("ivan", "a&b#c+d%e fж", 0));
    EXPECT_EQ("login=%D0%E0%E7&password=&min_id=-3", telegramQuery("Раз", "", -3));
}

TEST(TelegramQuery, LeadingNumbers) {
    EXPECT_EQ(0, leadingNumber(""));
    EXPECT_EQ(13, leadingNumber("13"));
    EXPECT_EQ(7, leadingNumber("  7\tfrom"));
    EXPECT_EQ(-4, leadingNumber("-4x"));
    EXPECT_EQ(0, leadingNumber("abc"));
    EXPECT_EQ(2147483647, leadingNumber("99999999999"));
}

TEST(TelegramReply, RecordsEndAtZeroBytesAndAtAnEmptyRecord) {
    std::string reply("OK\0"
                      "7\ta\0"
                      "12\tb\0",
                      13);
    std::vector<std::string> records = replyRecords(reply.data(), reply.size());
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("OK", records[0]);
    EXPECT_EQ("12\tb", records[2]);

    // Two zero bytes in a row: the walk ends at the empty record between them.
    std::string stopped("OK\0"
                        "7\ta\0\0"
                        "9\tlost\0",
                        16);
    EXPECT_EQ(2u, replyRecords(stopped.data(), stopped.size()).size());
    // A last record without its zero byte still counts.
    std::string open("OK\0"
                     "8\tc",
                     6);
    EXPECT_EQ("8\tc", replyRecords(open.data(), open.size()).back());
    EXPECT_TRUE(replyRecords("", 0).empty());
}

TEST(TelegramReply, StoredRecordKeepsFiveFields) {
    EXPECT_EQ("7;from;to;date;text with tabs", storedRecord("7\tfrom\tto\tdate\ttext\twith\ttabs"));
    EXPECT_EQ("9;a", storedRecord("9\ta"));
}

TEST(TelegramReply, ATelegramWithCrLfStaysOnOneLine) {
    EXPECT_EQ("7;from;to;date;two  lines and a third", storedRecord("7\tfrom\tto\tdate\ttwo\r\nlines\rand\na third"));
}
