// Server bytes of any shape, in pieces of any size, through the IMAP response
// framing and parser; the same bytes as one response text, as a string
// argument read back, and as UIDs for sequence sets.
#include "retrieval/imap_commands.h"
#include "retrieval/imap_framing.h"
#include "retrieval/imap_replies.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kLineLimit = 256;
constexpr size_t kKeepLimit = 512;

void checkResponse(const ImapResponse& r) {
    if (r.data == ImapData::Fetch && (r.fetch.hasHeader || r.fetch.hasSize) && r.fetch.uid == 0) {
        __builtin_trap();
    }
    for (const std::string& capability : r.capabilities) {
        if (capability.empty() ||
            std::any_of(capability.begin(), capability.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
            __builtin_trap();
        }
    }
}

void frameAndParse(const char* text, size_t size, size_t piece) {
    ImapResponseCollector collector(kLineLimit, kKeepLimit);
    size_t at = 0;
    while (at < size) {
        size_t n = std::min(piece, size - at);
        at += collector.feed(text + at, n);
        if (collector.failed()) {
            return;
        }
        if (collector.complete()) {
            ImapFramed framed = collector.take();
            if (framed.text.size() > 2 * (kLineLimit + kKeepLimit) || framed.text.back() != '\n') {
                __builtin_trap();
            }
            checkResponse(parseImapResponse(framed));
        }
    }
}

void checkUidSets(const uint8_t* data, size_t size) {
    std::vector<uint32_t> uids;
    for (size_t i = 0; i + 4 <= size && uids.size() < 256; i += 4) {
        uint32_t uid = 0;
        memcpy(&uid, data + i, 4);
        uids.push_back(uid % 64 == 0 ? uid : uid % 300); // runs as well as far-apart values
    }
    std::sort(uids.begin(), uids.end());
    size_t distinct = 0;
    for (size_t i = 0; i < uids.size(); i++) {
        distinct += uids[i] != 0 && (i == 0 || uids[i] != uids[i - 1]) ? 1 : 0;
    }
    size_t maxCount = 1 + size % 7;
    size_t named = 0;
    for (const std::string& set : imapUidSets(uids, 24, maxCount)) {
        if (set.size() > 24 && set.find(',') != std::string::npos) {
            __builtin_trap();
        }
        ImapResponse r = parseImapResponse("* ESEARCH ALL " + set + "\r\n");
        size_t inSet = 0;
        for (const auto& range : r.ranges) {
            inSet += static_cast<size_t>(range.second - range.first) + 1;
        }
        if (r.kind == ImapKind::Malformed || inSet > maxCount) {
            __builtin_trap();
        }
        named += inSet;
    }
    if (named != distinct) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the piece size, as a network would.
    size_t piece = 1 + data[0] % 17;
    const char* text = reinterpret_cast<const char*>(data + 1);
    size_t length = size - 1;
    frameAndParse(text, length, piece);

    std::string whole(text, length);
    checkResponse(parseImapResponse(whole));

    ImapCommandParts parts{"* 1 FETCH (UID 1 BODY[HEADER] "};
    appendImapString(parts, whole, piece % 2 == 0);
    parts.back() += ")\r\n";
    std::string joined;
    for (const std::string& part : parts) {
        joined += part;
    }
    if (parseImapResponse(joined).fetch.header != whole) {
        __builtin_trap();
    }
    loggableImapCommand(parts);
    checkUidSets(data, size);
    return 0;
}
