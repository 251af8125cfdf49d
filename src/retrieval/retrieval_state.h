// The lists one retrieval run shares between its POP3 sessions: the mails to
// delete on the servers, the identifiers known from earlier runs and those
// seen in this one. Look-ups go through hash indexes; the lists keep their
// order for the files written from them.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "retrieval/header_identifier.h"
#include "retrieval/uid_cache_text.h"
#include "store/mail_record.h"

struct MailId {
    char text[kMailIdCapacity];
};

class RetrievalState {
public:
    bool deletionListLoaded = false;
    // The size of DeleteMail.txt when the run read it: what the viewer
    // appends during the run stands after it.
    LONGLONG deletionFileSize = 0;
    // Set when some mailbox could not be walked to its end in this run, so
    // that identifiers it did not report are not taken for gone.
    bool walkIncomplete = false;

    void clear();

    // A mailbox whose walk stopped short. Its known identifiers that it did
    // not report stay in the identifier file: those its unique-id cache
    // attributes to it (ownCache), or, when it has no cache (null), every
    // known identifier not seen, since no mailbox can then be told apart.
    void markWalkIncomplete(const UidCache* ownCache);

    // Mails to delete: the complete lines of a DeleteMail.txt image, in file
    // order. The state keeps a copy of the text, which its records point
    // into.
    void setDeletionList(const char* text, size_t size);
    // Index of the first record still to delete with that identity, or -1.
    long findDeletion(const char* id) const;
    // A record whose DELE was answered; it leaves the list when the server
    // has confirmed the end of the session (commitDeletions), or comes back
    // (restoreDeletions) when the session broke off before that.
    void markDeleted(size_t index);
    // Takes back a markDeleted of this session (its DELE failed).
    void unmarkDeleted(size_t index);
    void commitDeletions();
    void restoreDeletions();
    // The records left to delete, in file order; their texts stay valid
    // until the list is set again.
    std::vector<MailEntry> remainingDeletions() const;
    size_t remainingDeletionCount() const;
    size_t loadedDeletionCount() const { return deletions_.size(); }

    void setKnownIds(std::vector<MailId> ids);
    bool isKnown(const char* id) const;
    const std::vector<MailId>& knownIds() const { return knownIds_; }

    void addSeen(const char* id);
    const std::vector<MailId>& seenIds() const { return seenIds_; }
    // What the identifier file should hold after this run: the identifiers
    // seen, and, when a walk was incomplete, the known ones that were not
    // seen and not deleted and belong to a mailbox that stopped short (see
    // markWalkIncomplete), in their old order.
    std::vector<MailId> idsToSave() const;
    void clearIds();

private:
    std::vector<char> deletionText_;
    std::vector<MailEntry> deletions_;
    std::vector<char> deletionState_; // 0 pending, 1 deleted in the session, 2 confirmed
    std::unordered_map<std::string, std::vector<size_t>> deletionIndex_;
    std::vector<size_t> sessionDeletions_;
    std::unordered_set<std::string> deletedIds_;

    std::vector<MailId> knownIds_;
    std::unordered_set<std::string> knownIndex_;
    std::vector<MailId> seenIds_;
    std::unordered_set<std::string> seenIndex_;

    bool keepAllUnseen_ = false; // a mailbox without a cache stopped short
    bool ownersRecorded_ = false;
    std::unordered_set<std::string> keptIds_;
};

extern RetrievalState gRetrieval;

MailId makeMailId(const char* text);
