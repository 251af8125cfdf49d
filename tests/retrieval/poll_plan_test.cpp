// The plan of a poll: listings by unique ids with their cache, pipelined
// commands and the walk give the same header file.
#include "pop3_session_fixture.h"

namespace {

constexpr char kFullCapa[] = "\"capa\": [\"TOP\", \"UIDL\", \"PIPELINING\"]";

std::string uidsJson(std::initializer_list<const char*> uids) {
    std::string json = "\"uids\": [";
    for (const char* uid : uids) {
        json += std::string(json.back() == '[' ? "\"" : ", \"") + uid + "\"";
    }
    return json + "]";
}

} // namespace

// However the server offers its listings and takes its commands, the header
// file is the walk's; with unique ids a poll that knows every mail reads no
// header.
TEST_F(Pop3Session, EveryExchangeGivesTheBlocksOfTheWalk) {
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    std::vector<MailId> known = gRetrieval.seenIds();
    ASSERT_EQ(4u, known.size());
    struct Variant {
        const char* scenario;
        bool uidl;
    } variants[] = {
        {"\"capa\": [\"UIDL\"]", true},
        {"\"capa\": [\"PIPELINING\"]", false},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"]", true},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"], \"batchReplies\": true", true},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"], \"splitBytes\": true", true},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.scenario);
        for (const std::vector<MailId>& knownIds : {std::vector<MailId>(), known}) {
            clearHeaderFile();
            gRetrieval.clear();
            gRetrieval.setKnownIds(knownIds);
            setFakePop3Scenario(corpusScenario(v.scenario));
            ASSERT_EQ(1, receive(fakeLine()));
            EXPECT_EQ(knownIds.empty() ? whole : "", readFile(dir / "MailTmp.txt"));
            EXPECT_EQ(!v.uidl, sent("LIST 1"));
            // The second time the cache of the first names every mail.
            EXPECT_EQ(!v.uidl || knownIds.empty(), sent("TOP 1 0"));
            EXPECT_EQ(4u, seen().size());
            EXPECT_FALSE(gRetrieval.walkIncomplete);
        }
        DeleteFileA((dir / uidCacheFileName("ivan@fake.test", "fake.test")).c_str());
    }
}

TEST_F(Pop3Session, BrokenBatchesAndRepeatedOrReusedUniqueIds) {
    // The connection drops in the middle of the header batch: what came
    // before stays, and the next poll reads only the rest.
    setFakePop3Scenario(corpusScenario(std::string(kFullCapa) + ", \"dropOn\": {\"TOP 3 0\": 100}"));
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_FALSE(sent("QUIT"));
    std::vector<MailId> known = gRetrieval.seenIds();
    gRetrieval.clear();
    gRetrieval.setKnownIds(known);
    setFakePop3Scenario(corpusScenario(kFullCapa));
    ASSERT_EQ(1, receive(fakeLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(4u, got.size());
    EXPECT_FALSE(sent("TOP 2 0"));
    EXPECT_TRUE(sent("TOP 3 0"));
    known = gRetrieval.seenIds();
    ASSERT_EQ(4u, known.size());

    // A unique id given twice names neither message: both headers are read.
    for (int poll = 0; poll < 2; poll++) {
        gRetrieval.clear();
        gRetrieval.setKnownIds(known);
        setFakePop3Scenario(corpusScenario(std::string(kFullCapa) + ", " + uidsJson({"a", "a", "c", "d"})));
        ASSERT_EQ(1, receive(fakeLine()));
    }
    EXPECT_TRUE(sent("TOP 1 0"));
    EXPECT_TRUE(sent("TOP 2 0"));
    EXPECT_FALSE(sent("TOP 3 0"));

    // After a deletion the server gives mail 1's unique id to another mail:
    // its size differs, so its header is read and it comes as new.
    std::vector<std::string> names = corpusMailNames();
    ASSERT_NE(corpusMail(names[0]).size(), corpusMail(names[5]).size());
    for (const std::string& name : {names[0], names[5]}) {
        clearHeaderFile();
        gRetrieval.clear();
        gRetrieval.setKnownIds(known);
        setFakePop3Scenario("{\"messages\": " + corpusJsonList({name}) + ", " + kFullCapa + ", " + uidsJson({"a"}) +
                            "}");
        ASSERT_EQ(1, receive(fakeLine()));
    }
    got = blocks();
    ASSERT_EQ(1u, got.size());
    EXPECT_NE(known[0].text, got[0].id);
    EXPECT_TRUE(sent("TOP 1 0"));
}
