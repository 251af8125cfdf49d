#include "store/fresh_mail.h"

#include "agent/agent_state.h"
#include "agent/event_log.h"
#include "base/text.h"
#include "store/mail_lists.h"

#include <windows.h>

void mergeFreshMail() {
    char fresh[kPathCapacity + 16], newMail[kPathCapacity + 16], archive[kPathCapacity + 16];
    formatText(fresh, sizeof fresh, "%sGetMail.txt", gAgent.serviceFolder);
    formatText(newMail, sizeof newMail, "%sMail.txt", gAgent.serviceFolder);
    formatText(archive, sizeof archive, "%sHistMail.txt", gAgent.serviceFolder);

    writeLog(appendMailFile(newMail, fresh) ? "Слили файлы новых писем" : "Слить файлы новых писем не удалось");
    bool archived = appendMailFile(archive, fresh);
    writeLog(archived ? "Слили файлы новых писем с Архивом" : "Слить файлы новых писем с Архивом не удалось");
    // The archive is the lasting copy: without it the records must not go.
    // (A missing or empty GetMail.txt is the ordinary case and is gone by now.)
    if (archived || GetFileAttributesA(fresh) == INVALID_FILE_ATTRIBUTES) {
        DeleteFileA(fresh);
    }
}
