// The unique-id cache of a mailbox: a file in the service folder that maps
// the unique id of every message of the mailbox's last complete listing to
// the size and the mail identifier derived from its header, so that a poll
// fetches the headers of new messages only.
#pragma once
#include "retrieval/uid_cache_text.h"

#include <string>

// Reads the mailbox's cache file (name from uidCacheFileName). False when
// there is none or it cannot be read: the poll then fetches every header.
bool loadUidCache(const std::string& fileName, UidCache& cache);

// Replaces the cache file with text (lines of formatUidCacheLine) at once:
// a poll that stops midway leaves the old file whole. A failure is logged.
void saveUidCache(const std::string& fileName, const std::string& text);
