#include "retrieval/imap_tokens.h"

#include <algorithm>
#include <cstring>

bool isImapAtomChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u != 0x7F && strchr("(){%*\"\\]", c) == nullptr;
}

std::string imapUpper(std::string word) {
    for (char& c : word) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return word;
}

ImapReader::ImapReader(const ImapFramed& framed) : framed_(framed), s_(framed.text), end_(framed.text.size()) {
    // The final line end is no part of any token.
    if (end_ > 0 && s_[end_ - 1] == '\n') {
        end_--;
    }
    if (end_ > 0 && s_[end_ - 1] == '\r') {
        end_--;
    }
}

bool ImapReader::eat(char c) {
    if (atEnd() || s_[p_] != c) {
        return false;
    }
    p_++;
    return true;
}

std::string ImapReader::atom() {
    size_t start = p_;
    while (!atEnd() && isImapAtomChar(s_[p_])) {
        p_++;
    }
    return s_.substr(start, p_ - start);
}

std::string ImapReader::rest() {
    size_t start = std::min(p_, end_);
    p_ = end_;
    return s_.substr(start, end_ - start);
}

// An atom, number, NIL or flag inside a value the session does not read.
bool ImapReader::skipWord() {
    size_t start = p_;
    while (!atEnd()) {
        unsigned char c = static_cast<unsigned char>(s_[p_]);
        if (c <= 0x20 || c == 0x7F || c == '(' || c == ')' || c == '"') {
            break;
        }
        p_++;
    }
    return p_ > start;
}

bool ImapReader::skipString() {
    std::string ignored;
    bool cut = false;
    return string(ignored, cut);
}

bool ImapReader::number(uint32_t& value) {
    size_t start = p_;
    uint64_t n = 0;
    while (!atEnd() && s_[p_] >= '0' && s_[p_] <= '9') {
        n = n * 10 + static_cast<uint64_t>(s_[p_] - '0');
        if (n > 4294967295ULL) {
            return false;
        }
        p_++;
    }
    value = static_cast<uint32_t>(n);
    return p_ > start;
}

bool ImapReader::quoted(std::string& value) {
    value.clear();
    p_++; // the opening quote
    while (!atEnd()) {
        char c = s_[p_++];
        if (c == '"') {
            return true;
        }
        if (c == '\r' || c == '\n') {
            return false;
        }
        if (c == '\\') {
            if (atEnd() || (s_[p_] != '\\' && s_[p_] != '"')) {
                return false;
            }
            c = s_[p_++];
        }
        value += c;
    }
    return false;
}

bool ImapReader::literal(std::string& value, bool& cut) {
    eat('~'); // a literal8 reads as a literal
    if (!eat('{')) {
        return false;
    }
    uint32_t size = 0;
    if (!number(size)) {
        return false;
    }
    eat('+');
    if (!eat('}')) {
        return false;
    }
    eat('\r');
    if (!eat('\n') || size > end_ - std::min(p_, end_)) {
        return false;
    }
    value.assign(s_, p_, size);
    const std::vector<size_t>& cuts = framed_.cutLiterals;
    cut = std::find(cuts.begin(), cuts.end(), p_) != cuts.end();
    p_ += size;
    return true;
}

bool ImapReader::string(std::string& value, bool& cut) {
    cut = false;
    if (peek() == '"') {
        return quoted(value);
    }
    return literal(value, cut);
}

bool ImapReader::nstring(std::string& value, bool& nil, bool& cut) {
    nil = false;
    if (peek() == 'N' || peek() == 'n') {
        size_t start = p_;
        nil = imapUpper(atom()) == "NIL";
        value.clear();
        cut = false;
        if (!nil) {
            p_ = start;
        }
        return nil;
    }
    return string(value, cut);
}

bool ImapReader::flag(std::string& value) {
    bool system = eat('\\');
    value = system ? "\\" : "";
    if (system && eat('*')) {
        value += '*';
        return true;
    }
    std::string word = atom();
    value += word;
    return !word.empty();
}

bool ImapReader::flagList(std::vector<std::string>& flags) {
    flags.clear();
    if (!eat('(')) {
        return false;
    }
    if (eat(')')) {
        return true;
    }
    do {
        std::string one;
        if (!flag(one)) {
            return false;
        }
        flags.push_back(one);
    } while (eat(' '));
    return eat(')');
}

std::string ImapReader::itemName() {
    size_t start = p_;
    while (!atEnd()) {
        char c = s_[p_];
        if (c == '[') {
            const char* close = static_cast<const char*>(memchr(s_.data() + p_, ']', end_ - p_));
            if (close == nullptr) {
                return std::string();
            }
            p_ = static_cast<size_t>(close - s_.data()) + 1;
        } else if (isImapAtomChar(c)) {
            p_++;
        } else {
            break;
        }
    }
    return imapUpper(s_.substr(start, p_ - start));
}

bool ImapReader::skipValue() {
    int depth = 0;
    for (;;) {
        char c = peek();
        if (atEnd()) {
            return false;
        }
        if (c == '(') {
            p_++;
            depth++;
            continue;
        }
        if (c == ' ' && depth > 0) {
            p_++;
            continue;
        }
        if (c == ')') {
            if (depth == 0) {
                return false;
            }
            p_++;
            depth--;
        } else if (c == '"' || c == '{' || c == '~') {
            if (!skipString()) {
                return false;
            }
        } else if (!skipWord()) {
            return false;
        }
        if (depth == 0) {
            return true;
        }
    }
}

bool ImapReader::sequenceSet(std::vector<std::pair<uint32_t, uint32_t>>& ranges) {
    do {
        uint32_t first = 0;
        uint32_t last = 0;
        if (!nzNumber(first)) {
            return false;
        }
        last = first;
        if (eat(':') && !nzNumber(last)) {
            return false;
        }
        ranges.emplace_back(std::min(first, last), std::max(first, last));
    } while (eat(','));
    return true;
}
