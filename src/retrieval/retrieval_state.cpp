#include "retrieval/retrieval_state.h"

#include "base/text.h"
#include "store/line_reader.h"
#include "store/mail_line.h"

RetrievalState gRetrieval;

MailId makeMailId(const char* text) {
    MailId id;
    copyText(id.text, sizeof id.text, text);
    return id;
}

void RetrievalState::clear() {
    deletionListLoaded = false;
    deletionFileSize = 0;
    walkIncomplete = false;
    setDeletionList(nullptr, 0);
    clearIds();
}

void RetrievalState::markWalkIncomplete(const UidCache* ownCache) {
    walkIncomplete = true;
    if (ownCache == nullptr) {
        keepAllUnseen_ = true;
        return;
    }
    ownersRecorded_ = true;
    for (const auto& entry : *ownCache) {
        keptIds_.insert(entry.second.id);
    }
}

void RetrievalState::setDeletionList(const char* text, size_t size) {
    deletionText_ = std::vector<char>(text, text + size);
    deletions_ = std::vector<MailEntry>(countLines(text, size));
    readMailEntries(deletionText_.data(), size, deletions_.data(), deletions_.size());
    deletionState_.assign(deletions_.size(), 0);
    deletionIndex_.clear();
    sessionDeletions_.clear();
    deletedIds_.clear();
    for (size_t i = 0; i < deletions_.size(); i++) {
        deletionIndex_[deletions_[i].identity].push_back(i);
    }
}

long RetrievalState::findDeletion(const char* id) const {
    auto hit = deletionIndex_.find(id);
    if (hit == deletionIndex_.end()) {
        return -1;
    }
    for (size_t index : hit->second) {
        if (deletionState_[index] == 0) {
            return static_cast<long>(index);
        }
    }
    return -1;
}

void RetrievalState::markDeleted(size_t index) {
    if (index < deletionState_.size() && deletionState_[index] == 0) {
        deletionState_[index] = 1;
        sessionDeletions_.push_back(index);
    }
}

void RetrievalState::unmarkDeleted(size_t index) {
    if (index < deletionState_.size() && deletionState_[index] == 1) {
        deletionState_[index] = 0;
        for (size_t i = 0; i < sessionDeletions_.size(); i++) {
            if (sessionDeletions_[i] == index) {
                sessionDeletions_.erase(sessionDeletions_.begin() + static_cast<long>(i));
                break;
            }
        }
    }
}

void RetrievalState::commitDeletions() {
    for (size_t index : sessionDeletions_) {
        deletionState_[index] = 2;
        deletedIds_.insert(deletions_[index].identity);
    }
    sessionDeletions_.clear();
}

void RetrievalState::restoreDeletions() {
    for (size_t index : sessionDeletions_) {
        deletionState_[index] = 0;
    }
    sessionDeletions_.clear();
}

std::vector<MailEntry> RetrievalState::remainingDeletions() const {
    std::vector<MailEntry> left;
    for (size_t i = 0; i < deletions_.size(); i++) {
        if (deletionState_[i] != 2) {
            left.push_back(deletions_[i]);
        }
    }
    return left;
}

size_t RetrievalState::remainingDeletionCount() const {
    size_t n = 0;
    for (char state : deletionState_) {
        n += state != 2 ? 1 : 0;
    }
    return n;
}

void RetrievalState::setKnownIds(std::vector<MailId> ids) {
    knownIds_ = std::move(ids);
    knownIndex_.clear();
    for (const MailId& id : knownIds_) {
        knownIndex_.insert(id.text);
    }
}

bool RetrievalState::isKnown(const char* id) const {
    return knownIndex_.count(id) != 0;
}

void RetrievalState::addSeen(const char* id) {
    seenIds_.push_back(makeMailId(id));
    seenIndex_.insert(id);
}

std::vector<MailId> RetrievalState::idsToSave() const {
    std::vector<MailId> ids = seenIds_;
    if (!walkIncomplete) {
        return ids;
    }
    // Set by hand, without a mailbox to name, it keeps every one.
    bool keepAll = keepAllUnseen_ || !ownersRecorded_;
    std::unordered_set<std::string> kept;
    for (const MailId& id : knownIds_) {
        if (seenIndex_.count(id.text) == 0 && deletedIds_.count(id.text) == 0 &&
            (keepAll || keptIds_.count(id.text) != 0) && kept.insert(id.text).second) {
            ids.push_back(id);
        }
    }
    return ids;
}

void RetrievalState::clearIds() {
    knownIds_.clear();
    knownIndex_.clear();
    seenIds_.clear();
    seenIndex_.clear();
    keepAllUnseen_ = false;
    ownersRecorded_ = false;
    keptIds_.clear();
}
