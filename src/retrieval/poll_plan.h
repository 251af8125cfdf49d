// The plan of one reception poll, made once the STAT reply is in: which
// commands each message needs. By unique ids, when the server lists them, a
// message the mailbox's cache identifies as known or to delete needs no
// header; otherwise the walk reads LIST n and TOP n 0 of every message.
#pragma once
#include "retrieval/command_pipe.h"
#include "retrieval/pop3_address.h"
#include "retrieval/pop3_login.h"
#include "retrieval/uid_cache_text.h"

#include <cstdint>
#include <string>
#include <vector>

// Commands sent in one piece to a server that offers PIPELINING.
constexpr size_t kPipelineHalfWindow = 64;

// What one message needs and what is known of it before its replies.
struct MessagePlan {
    double size = 0.0;
    size_t listCommand = SIZE_MAX;         // the walk's LIST n
    size_t topCommand = SIZE_MAX;          // TOP n 0 when the header must be read
    std::string uid;                       // a unique id used for the cache, or empty
    const std::string* cachedId = nullptr; // the identifier the cache gave
    bool fromCache = false;
};

// A DELE of message n for the deletion record at index.
struct PendingDeletion {
    int n;
    size_t index;
    std::string id;
};

// Everything of one reception poll after the STAT reply.
struct Poll {
    Pop3Dialogue& s;
    const MailboxLogin& login;
    const std::string& aliasLine; // "Psevdo:alias\r\n", opening every block
    const UidCache& cache;        // the mailbox's cache as the poll found it
    HANDLE headerFile;            // the run's MailTmp.txt
    const Pop3Capabilities& caps;
    int count;
    bool pipelined;
    std::vector<MessagePlan> plans;
    std::vector<PendingDeletion> deletions; // held back until every header is in
    bool walkedAll = true;
};

// Whether the cache names message m (by its uid and size) with an identifier
// that is to be deleted or is known: then its header need not be read, and m
// takes the cached identifier.
bool identifiedByCache(const UidCache& cache, MessagePlan& m);

// Adds the commands of every message to pipe. listed tells whether the plan
// goes by unique ids. False when the connection failed during the listings:
// nothing more can be asked.
bool planPoll(Poll& p, CommandPipe& pipe, bool& listed);
