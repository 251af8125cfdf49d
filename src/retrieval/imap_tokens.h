// The tokens of one framed IMAP response: atoms, numbers, quoted strings,
// literals, flags, FETCH item names, sequence sets, and values skipped whole.
#pragma once
#include "retrieval/imap_framing.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// An ATOM-CHAR: a visible character other than ( ) { % * " \ ].
bool isImapAtomChar(char c);

// The word with its ASCII letters upper-cased.
std::string imapUpper(std::string word);

// Reads the tokens of one response. Every read checks the end, which lies
// before the response's final line end; a failed read leaves the position
// where the fault was.
class ImapReader {
public:
    explicit ImapReader(const ImapFramed& framed);
    bool atEnd() const { return p_ >= end_; }
    char peek() const { return atEnd() ? '\0' : s_[p_]; }
    // Takes c when it comes next.
    bool eat(char c);
    // A run of atom characters, empty when there is none.
    std::string atom();
    // Everything up to the end.
    std::string rest();
    // A number within 32 bits; nzNumber refuses 0 too.
    bool number(uint32_t& value);
    bool nzNumber(uint32_t& value) { return number(value) && value != 0; }
    // A quoted string or a literal; cut tells a literal the framing cut.
    bool string(std::string& value, bool& cut);
    // A string or NIL.
    bool nstring(std::string& value, bool& nil, bool& cut);
    // "\Seen", "\*" or a keyword.
    bool flag(std::string& value);
    // "(" flags separated by blanks ")".
    bool flagList(std::vector<std::string>& flags);
    // A FETCH item name upper-cased, its section in brackets and its partial
    // range included: "BODY[HEADER.FIELDS (DATE)]<0>". Empty when there is none.
    std::string itemName();
    // One value of any shape: an atom, a number, NIL, a string, or a list of
    // values nested to any depth.
    bool skipValue();
    // "1:5,7,9:12", each range ordered low to high.
    bool sequenceSet(std::vector<std::pair<uint32_t, uint32_t>>& ranges);

private:
    bool quoted(std::string& value);
    bool literal(std::string& value, bool& cut);
    bool skipWord();
    bool skipString();

    const ImapFramed& framed_;
    const std::string& s_;
    size_t end_;
    size_t p_ = 0;
};
