// DeleteMail.txt is changed by two threads of the agent: the viewer appends
// the mails the user deleted, the retrieval run rewrites the file with the
// records left. Both hold this lock while they change the file, so that no
// appended record is lost in a rewrite.
#pragma once
#include <windows.h>

SRWLOCK& deletionFileLock();
