#include "settings/mailbox_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(MailboxText, OnlyTrailingBlanksAreRemoved) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"  ivan@alpha.test  ", "  ivan@alpha.test"}, {"   ", ""}, {"", ""}, {"pw\t ", "pw\t"}, {"a b", "a b"},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        trimTrailingBlanks(&text[0]);
        EXPECT_STREQ(c.out, text.c_str()) << '"' << c.in << '"';
    }
}

TEST(MailboxText, TheCheckBoxDecidesTheState) {
    EXPECT_EQ('A', stateForCheckBox('P', true));
    EXPECT_EQ('A', stateForCheckBox('X', true)); // any other state becomes active
    EXPECT_EQ('P', stateForCheckBox('A', false));
    EXPECT_EQ('X', stateForCheckBox('X', false)); // shown cleared already: kept
    EXPECT_EQ('A', stateForCheckBox('A', true));
}
