#include "store/fresh_mail.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "base/text.h"
#include "store/mail_lists.h"

#include <windows.h>

void mergeFreshMail() {
    ServicePath freshPath("GetMail.txt"), newMailPath("Mail.txt"), archivePath("HistMail.txt");
    const char* fresh = freshPath.text;
    const char* newMail = newMailPath.text;
    const char* archive = archivePath.text;

    MailFileAppend newMailMerge;
    bool merged = appendMailFile(newMail, fresh, &newMailMerge);
    writeLog(merged ? "Слили файлы новых писем" : "Слить файлы новых писем не удалось");
    bool archived = appendMailFile(archive, fresh);
    writeLog(archived ? "Слили файлы новых писем с Архивом" : "Слить файлы новых писем с Архивом не удалось");
    // The archive is the lasting copy: without it the records must not go, and
    // they stay in GetMail.txt for the next merge. That merge appends them to
    // Mail.txt again, so this one is taken back.
    // (A missing or empty GetMail.txt is the ordinary case and is gone by now.)
    if (!archived && merged && undoMailFileAppend(newMail, fresh, newMailMerge)) {
        writeLog("Слияние файлов новых писем отменено");
    }
    if (archived || GetFileAttributesA(fresh) == INVALID_FILE_ATTRIBUTES) {
        DeleteFileA(fresh);
    }
}
