#include "retrieval/imap_replies.h"

#include "retrieval/imap_tokens.h"

#include <algorithm>
#include <cstring>

namespace {

ImapStatus statusOf(const std::string& word) {
    static const struct {
        const char* name;
        ImapStatus status;
    } kStatuses[] = {{"OK", ImapStatus::Ok},
                     {"NO", ImapStatus::No},
                     {"BAD", ImapStatus::Bad},
                     {"BYE", ImapStatus::Bye},
                     {"PREAUTH", ImapStatus::Preauth}};
    for (const auto& s : kStatuses) {
        if (word == s.name) {
            return s.status;
        }
    }
    return ImapStatus::None;
}

// Space-separated atoms up to the end of the text, upper-cased.
bool readCapabilities(ImapReader& in, std::vector<std::string>& capabilities) {
    while (in.eat(' ')) {
        std::string word = in.atom();
        if (word.empty()) {
            return false;
        }
        capabilities.push_back(imapUpper(word));
    }
    return in.atEnd();
}

bool readCode(ImapReader& in, ImapResponse& r) {
    r.hasCode = true;
    r.code.name = imapUpper(in.atom());
    if (r.code.name.empty()) {
        return false;
    }
    const std::string& name = r.code.name;
    if (name == "UIDVALIDITY" || name == "UIDNEXT" || name == "UNSEEN") {
        r.code.hasNumber = true;
        return in.eat(' ') && in.nzNumber(r.code.number) && in.eat(']');
    }
    if (name == "CAPABILITY") {
        while (in.eat(' ')) {
            std::string word = in.atom();
            if (word.empty()) {
                return false;
            }
            r.capabilities.push_back(imapUpper(word));
        }
        return in.eat(']');
    }
    if (in.eat(' ')) {
        // Any argument as text, a quoted string holding "]" included.
        while (!in.atEnd() && in.peek() != ']') {
            if (in.peek() == '"') {
                std::string quoted;
                bool cut = false;
                if (!in.string(quoted, cut)) {
                    return false;
                }
                r.code.argument += '"' + quoted + '"';
            } else {
                r.code.argument += in.peek();
                in.eat(in.peek());
            }
        }
    }
    return in.eat(']');
}

// The rest of a status response: an optional code in brackets, then text.
bool readStatusText(ImapReader& in, ImapResponse& r) {
    if (!in.eat(' ')) {
        return in.atEnd();
    }
    if (in.eat('[')) {
        if (!readCode(in, r)) {
            return false;
        }
        in.eat(' ');
    }
    r.text = in.rest();
    return true;
}

bool readFetchItem(ImapReader& in, ImapFetch& fetch, std::vector<std::string>& flags) {
    std::string name = in.itemName();
    if (name.empty() || !in.eat(' ')) {
        return false;
    }
    if (name == "UID") {
        return in.nzNumber(fetch.uid);
    }
    if (name == "RFC822.SIZE") {
        fetch.hasSize = true;
        return in.number(fetch.size);
    }
    if (name == "FLAGS") {
        fetch.hasFlags = true;
        return in.flagList(flags);
    }
    if (name == "BODY[HEADER]" || name == "RFC822.HEADER") {
        fetch.hasHeader = true;
        return in.nstring(fetch.header, fetch.headerNil, fetch.headerCut);
    }
    return in.skipValue();
}

bool readFetch(ImapReader& in, ImapResponse& r) {
    if (!in.eat(' ') || !in.eat('(')) {
        return false;
    }
    if (!in.eat(')')) {
        do {
            if (!readFetchItem(in, r.fetch, r.flags)) {
                return false;
            }
        } while (in.eat(' '));
        if (!in.eat(')')) {
            return false;
        }
    }
    // Sizes and headers belong to a mail only through its UID; a flag update
    // the server sends on its own may come without one.
    bool needsUid = r.fetch.hasSize || r.fetch.hasHeader;
    return in.atEnd() && (r.fetch.uid != 0 || !needsUid);
}

bool readSearch(ImapReader& in, ImapResponse& r) {
    while (in.eat(' ')) {
        uint32_t n = 0;
        if (in.peek() == '(') {
            if (!in.skipValue()) { // a modification sequence
                return false;
            }
        } else if (!in.nzNumber(n)) {
            return false;
        } else {
            r.numbers.push_back(n);
        }
    }
    return in.atEnd();
}

bool readEsearch(ImapReader& in, ImapResponse& r) {
    while (in.eat(' ')) {
        if (in.peek() == '(') {
            if (!in.skipValue()) { // the correlator
                return false;
            }
            continue;
        }
        std::string name = imapUpper(in.atom());
        if (name == "UID") {
            r.uids = true;
            continue;
        }
        if (name.empty() || !in.eat(' ')) {
            return false;
        }
        if (name == "ALL" ? !in.sequenceSet(r.ranges) : !in.skipValue()) {
            return false;
        }
    }
    return in.atEnd();
}

// "* n EXISTS", "* n RECENT", "* n EXPUNGE", "* n FETCH (...)" and other
// numbered data.
bool readNumbered(ImapReader& in, ImapResponse& r) {
    if (!in.number(r.number) || !in.eat(' ')) {
        return false;
    }
    std::string word = imapUpper(in.atom());
    if (word == "EXISTS" || word == "RECENT") {
        r.data = word == "EXISTS" ? ImapData::Exists : ImapData::Recent;
        return in.atEnd();
    }
    if (word == "EXPUNGE") {
        r.data = ImapData::Expunge;
        return r.number != 0 && in.atEnd();
    }
    if (word == "FETCH") {
        r.data = ImapData::Fetch;
        return r.number != 0 && readFetch(in, r);
    }
    r.data = ImapData::Other;
    return !word.empty();
}

bool readUntagged(ImapReader& in, ImapResponse& r) {
    if (in.peek() >= '0' && in.peek() <= '9') {
        return readNumbered(in, r);
    }
    std::string word = imapUpper(in.atom());
    r.status = statusOf(word);
    if (r.status != ImapStatus::None) {
        r.data = ImapData::Status;
        return readStatusText(in, r);
    }
    if (word == "CAPABILITY") {
        r.data = ImapData::Capability;
        return readCapabilities(in, r.capabilities);
    }
    if (word == "FLAGS") {
        r.data = ImapData::Flags;
        return in.eat(' ') && in.flagList(r.flags) && in.atEnd();
    }
    if (word == "SEARCH") {
        r.data = ImapData::Search;
        return readSearch(in, r);
    }
    if (word == "ESEARCH") {
        r.data = ImapData::Esearch;
        return readEsearch(in, r);
    }
    r.data = ImapData::Other;
    return !word.empty();
}

bool readResponse(ImapReader& in, ImapResponse& r) {
    if (in.eat('+')) {
        r.kind = ImapKind::Continuation;
        in.eat(' ');
        r.text = in.rest();
        return true;
    }
    if (in.eat('*')) {
        r.kind = ImapKind::Untagged;
        return in.eat(' ') && readUntagged(in, r);
    }
    r.kind = ImapKind::Tagged;
    r.tag = in.atom();
    if (r.tag.empty() || !in.eat(' ')) {
        return false;
    }
    r.status = statusOf(imapUpper(in.atom()));
    return r.status != ImapStatus::None && readStatusText(in, r);
}

} // namespace

ImapResponse parseImapResponse(const ImapFramed& framed) {
    ImapResponse response;
    ImapReader in(framed);
    if (!readResponse(in, response)) {
        ImapResponse malformed;
        malformed.text = framed.text.substr(0, 200);
        return malformed;
    }
    return response;
}

ImapResponse parseImapResponse(const std::string& text) {
    ImapFramed framed;
    framed.text = text;
    return parseImapResponse(framed);
}
