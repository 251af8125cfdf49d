// What a reception cycle brought, for the notification of new mail: the poll
// cycle thread records it before its fetching ends, the agent window reads it
// when the cycle's end arrives.
#pragma once
#include <cstddef>

struct NewestMail {
    int count = 0; // mails the cycle brought
    char sender[128] = {};
    char subject[256] = {};
};

// Either thread; the texts are cut to their capacity.
void recordNewestMail(int count, const char* sender, const char* subject);
NewestMail newestMail();
