// The unique-id cache file's lines and name.
#include "retrieval/uid_cache_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Listings, CacheLinesReadBackAndBadOnesSkipped) {
    std::string text = formatUidCacheLine("u1", 1500.0, " Wed, 2 Dec 2026 09:00:00 +0300") +
                       formatUidCacheLine("u2", 12.0, "id@x") + "no-size-here\r\nu3 1x2 id\r\nu4 5 unfinished";
    UidCache cache;
    parseUidCache(text.data(), text.size(), cache);
    ASSERT_EQ(2u, cache.size());
    EXPECT_EQ("1500", cache["u1"].size);
    EXPECT_EQ(" Wed, 2 Dec 2026 09:00:00 +0300", cache["u1"].id); // blanks of the identifier kept
    EXPECT_EQ("id@x", cache["u2"].id);

    // Four Windows-1251 letters, a slash and a colon become "_".
    const char* address = "\xC8\xE2\xE0\xED/ivan:x@mail.ru";
    std::string name = uidCacheFileName(address, "pop.mail.ru");
    EXPECT_EQ(0u, name.find("Uidl______ivan_x@mail.ru_")) << name;
    EXPECT_EQ(name.size() - 4, name.find(".txt"));
    EXPECT_NE(name, uidCacheFileName(address, "pop3.mail.ru"));
}
