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

    writeLog(appendMailFile(newMail, fresh) ? "Слили файлы новых писем" : "Слить файлы новых писем не удалось");
    bool archived = appendMailFile(archive, fresh);
    writeLog(archived ? "Слили файлы новых писем с Архивом" : "Слить файлы новых писем с Архивом не удалось");
    // The archive is the lasting copy: without it the records must not go.
    // (A missing or empty GetMail.txt is the ordinary case and is gone by now.)
    if (archived || GetFileAttributesA(fresh) == INVALID_FILE_ATTRIBUTES) {
        DeleteFileA(fresh);
    }
}
