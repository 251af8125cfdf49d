#include "retrieval/imap_commands.h"

#include <cstdio>
#include <cstring>

const char kImapMaskedLine[] = "********\r\n";

std::string ImapTags::next() {
    char tag[16];
    snprintf(tag, sizeof tag, "A%04u", static_cast<unsigned>(++count_));
    return tag;
}

namespace {

bool needsLiteral(const std::string& value) {
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == 0 || u == '\r' || u == '\n' || u > 127) {
            return true;
        }
    }
    return false;
}

bool startsWithWord(const std::string& text, size_t at, const char* word) {
    size_t n = strlen(word);
    if (text.size() < at + n || (text.size() > at + n && text[at + n] != ' ')) {
        return false;
    }
    for (size_t i = 0; i < n; i++) {
        char c = text[at + i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

// The offset just past the string argument at `at` (quoted or a literal),
// or npos when it is neither.
size_t skipStringArgument(const std::string& text, size_t at) {
    if (at < text.size() && text[at] == '"') {
        for (size_t i = at + 1; i < text.size(); i++) {
            if (text[i] == '\\') {
                i++;
            } else if (text[i] == '"') {
                return i + 1;
            }
        }
        return std::string::npos;
    }
    unsigned long long size = 0;
    int used = 0;
    if (sscanf(text.c_str() + at, "{%llu%n", &size, &used) != 1) {
        return std::string::npos;
    }
    size_t close = text.find("}\r\n", at + static_cast<size_t>(used));
    if (close == std::string::npos || size > text.size() - (close + 3)) {
        return std::string::npos;
    }
    return close + 3 + static_cast<size_t>(size);
}

} // namespace

void appendImapString(ImapCommandParts& parts, const std::string& value, bool literalPlus) {
    if (parts.empty()) {
        parts.emplace_back();
    }
    if (!needsLiteral(value)) {
        std::string& piece = parts.back();
        piece += '"';
        for (char c : value) {
            if (c == '\\' || c == '"') {
                piece += '\\';
            }
            piece += c;
        }
        piece += '"';
        return;
    }
    parts.back() += "{" + std::to_string(value.size()) + (literalPlus ? "+}\r\n" : "}\r\n");
    if (!literalPlus) {
        parts.emplace_back();
    }
    parts.back() += value;
}

ImapCommandParts imapLoginCommand(const std::string& tag, const std::string& user, const std::string& password,
                                  bool literalPlus) {
    ImapCommandParts parts{tag + " LOGIN "};
    appendImapString(parts, user, literalPlus);
    parts.back() += ' ';
    appendImapString(parts, password, literalPlus);
    parts.back() += "\r\n";
    return parts;
}

std::string loggableImapCommand(const ImapCommandParts& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += part;
    }
    size_t verb = text.find(' ');
    if (verb == std::string::npos) {
        return text;
    }
    verb++;
    size_t keep = std::string::npos;
    if (startsWithWord(text, verb, "LOGIN")) {
        // The user stays readable; everything after it is the password.
        size_t user = verb + 6;
        size_t end = skipStringArgument(text, user);
        keep = end == std::string::npos ? user : end;
    } else if (startsWithWord(text, verb, "AUTHENTICATE")) {
        // The mechanism stays; an initial response after it is the secret.
        size_t mechanism = text.find(' ', verb);
        size_t response = mechanism == std::string::npos ? mechanism : text.find(' ', mechanism + 1);
        keep = response;
    }
    if (keep == std::string::npos || keep >= text.size() || text.compare(keep, std::string::npos, "\r\n") == 0) {
        return text;
    }
    std::string shown = text.substr(0, keep);
    while (!shown.empty() && shown.back() == ' ') {
        shown.pop_back();
    }
    return shown + " " + kImapMaskedLine;
}

std::vector<std::string> imapUidSets(const std::vector<uint32_t>& uids, size_t maxLength, size_t maxCount) {
    std::vector<std::string> sets;
    if (maxCount == 0) {
        maxCount = 1;
    }
    std::string set;
    size_t count = 0; // UIDs named by set
    auto flush = [&]() {
        sets.push_back(set);
        set.clear();
        count = 0;
    };
    size_t i = 0;
    while (i < uids.size()) {
        uint32_t first = uids[i++];
        if (first == 0) {
            continue;
        }
        if (count >= maxCount) {
            flush();
        }
        // A run of consecutive UIDs, as long as the set may still name them.
        uint32_t last = first;
        size_t run = 1;
        while (i < uids.size() && (uids[i] == last || uids[i] == last + 1) && last != 0xFFFFFFFFu &&
               count + run < maxCount) {
            run += uids[i] == last + 1 ? 1 : 0;
            last = uids[i++];
        }
        while (i < uids.size() && uids[i] == last) {
            i++;
        }
        std::string range = std::to_string(first);
        if (last != first) {
            range += ":" + std::to_string(last);
        }
        if (!set.empty() && set.size() + 1 + range.size() > maxLength) {
            flush();
        }
        set += (set.empty() ? "" : ",") + range;
        count += run;
    }
    if (!set.empty()) {
        flush();
    }
    return sets;
}
