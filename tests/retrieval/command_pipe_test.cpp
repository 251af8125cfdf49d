// The command pipe against a recording sender: what goes out in which piece,
// and how a failure reaches the commands after it.
#include "retrieval/command_pipe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingSender : public CommandSender {
public:
    void logCommand(const std::string& text) override { logged.push_back(text); }
    int sendCommands(const std::string& batch) override {
        batches.push_back(batch);
        return batches.size() == failOnBatch ? 10054 : 0;
    }
    std::vector<std::string> logged;
    std::vector<std::string> batches;
    size_t failOnBatch = 0; // 1-based; 0: none fails
};

std::string top(int n) {
    return "TOP " + std::to_string(n) + " 0\r\n";
}

} // namespace

TEST(CommandPipe, WithoutPipeliningEachCommandGoesJustBeforeItsReply) {
    RecordingSender sender;
    CommandPipe pipe(sender, 1);
    for (int n = 1; n <= 3; n++) {
        pipe.add(top(n));
    }
    EXPECT_TRUE(sender.batches.empty()); // nothing before a reply is wanted
    EXPECT_EQ(0, pipe.ready(0));
    EXPECT_EQ(std::vector<std::string>{top(1)}, sender.batches);
    EXPECT_EQ(0, pipe.ready(0)); // asking again sends nothing more
    EXPECT_EQ(1u, sender.batches.size());
    EXPECT_EQ(0, pipe.ready(2)); // a reply further on: what comes before it too
    EXPECT_EQ((std::vector<std::string>{top(1), top(2), top(3)}), sender.batches);
    EXPECT_EQ(sender.batches, sender.logged);
}

TEST(CommandPipe, PipelinedCommandsGoOutHalfAWindowAtATime) {
    RecordingSender sender;
    CommandPipe pipe(sender, 4);
    for (int n = 1; n <= 10; n++) {
        pipe.add(top(n));
    }
    pipe.ready(0);
    ASSERT_EQ(1u, sender.batches.size());
    EXPECT_EQ(top(1) + top(2) + top(3) + top(4), sender.batches[0]);
    // While at least half a window is on the way, nothing more goes out.
    EXPECT_EQ(0, pipe.ready(0));
    EXPECT_EQ(1u, sender.batches.size());
    // Reply 2 leaves fewer than that: the next half-window follows.
    pipe.ready(1);
    ASSERT_EQ(2u, sender.batches.size());
    EXPECT_EQ(top(5) + top(6) + top(7) + top(8), sender.batches[1]);
    pipe.ready(9); // the last piece is shorter
    ASSERT_EQ(3u, sender.batches.size());
    EXPECT_EQ(top(9) + top(10), sender.batches[2]);
    EXPECT_EQ(10u, sender.logged.size()); // each command logged once
}

TEST(CommandPipe, PasswordIsLoggedHidden) {
    RecordingSender sender;
    CommandPipe pipe(sender, 2);
    pipe.add("USER ivan@alpha.test\r\n");
    pipe.add("PASS s3cret\r\n");
    pipe.ready(1);
    EXPECT_EQ((std::vector<std::string>{"USER ivan@alpha.test\r\n", "PASS ********\r\n"}), sender.logged);
    EXPECT_EQ("USER ivan@alpha.test\r\nPASS s3cret\r\n", sender.batches[0]);
}

TEST(CommandPipe, AFailedSendOrReplyFailsEveryLaterCommand) {
    RecordingSender sender;
    sender.failOnBatch = 2;
    CommandPipe pipe(sender, 2);
    for (int n = 1; n <= 8; n++) {
        pipe.add(top(n));
    }
    EXPECT_EQ(0, pipe.ready(0));
    EXPECT_EQ(0, pipe.ready(1));
    EXPECT_EQ(10054, pipe.ready(2)); // its batch did not go out
    EXPECT_EQ(10054, pipe.ready(3));
    // Later commands are not sent any more, only logged, and fail alike.
    EXPECT_EQ(10054, pipe.ready(7));
    EXPECT_EQ(2u, sender.batches.size());
    EXPECT_EQ(8u, sender.logged.size());

    // A reply that could not be read breaks the pipe for what follows.
    RecordingSender other;
    CommandPipe broken(other, 1);
    broken.add(top(1));
    broken.add(top(2));
    EXPECT_EQ(0, broken.ready(0));
    broken.broke(10060);
    broken.broke(10054); // the first error stays
    EXPECT_EQ(10060, broken.ready(1));
    EXPECT_EQ(1u, other.batches.size());
}
