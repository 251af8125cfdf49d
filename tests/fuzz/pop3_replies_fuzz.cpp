// Server replies of any shape, in pieces of any size, through the reply
// framing, the STAT, LIST and CAPA readers, the identifier rules and the
// account line reader with its port.
#include "retrieval/header_identifier.h"
#include "retrieval/pop3_address.h"
#include "retrieval/pop3_replies.h"
#include "retrieval/reply_framing.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(data);
    // The first byte chooses the piece size, as a network would.
    size_t piece = 1 + data[0] % 17;
    text++;
    size--;

    LineCollector line(64);
    size_t at = 0;
    while (at < size && !line.complete() && !line.tooLong()) {
        size_t n = size - at < piece ? size - at : piece;
        at += line.feed(text + at, n);
    }
    if (line.tooLong() && line.text().size() != 64) {
        __builtin_trap();
    }
    if (line.complete()) {
        const std::string& reply = line.text();
        if (reply.size() > 64 || reply.back() != '\n') {
            __builtin_trap();
        }
        int count = 0;
        parseStatCount(reply.c_str(), count);
        formatSizeLine(parseListSize(reply.c_str()));
    }

    MultilineCollector multi(256);
    at = 0;
    while (at < size && !multi.complete()) {
        size_t n = size - at < piece ? size - at : piece;
        at += multi.feed(text + at, n);
    }
    if (multi.complete()) {
        std::string header = multi.finish();
        if (header.size() < 5 || header.compare(header.size() - 5, 5, "\r\n.\r\n") != 0 || header.size() > 256 + 6) {
            __builtin_trap();
        }
        IdentifierResult id = deriveIdentifier(header.data(), header.size());
        if (id.id.empty() || id.id.size() > 127 || id.id.find(';') != std::string::npos ||
            id.fromHeaderText == id.found) {
            __builtin_trap();
        }
    }

    parseCapabilities(text, size);
    IdentifierResult raw = deriveIdentifier(text, size);
    if (raw.id.size() > 127) {
        __builtin_trap();
    }
    std::string asLine(text, strnlen(text, size));
    MailboxLogin login;
    readMailboxLine(asLine.c_str(), login);
    if (parsePort(login.port) == 0) {
        __builtin_trap();
    }
    std::string address, password, domain, server;
    splitTestParams(asLine.c_str(), address, password, domain, server);
    return 0;
}
