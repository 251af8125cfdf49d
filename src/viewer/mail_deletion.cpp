#include "viewer/mail_deletion.h"
#include "base/file_names.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/service_paths.h"
#include "store/deletion_file.h"
#include "store/mail_line.h"
#include "store/mail_lists.h"
#include "store/mail_order.h"
#include "ui/alert_window.h"
#include "ui/paint_wait.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_status_bar.h"
#include "core/program_names.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr char kDeletionFileNotice[] = "Затрудняюсь создать файл удаляемых писем!";
constexpr char kListsNotSavedNotice[] = "Списки писем не сохранились. Удаление отменено!";

// The first record of each mail number in a list.
class NumberIndex {
public:
    explicit NumberIndex(MailList& list) {
        index_.reserve(static_cast<size_t>(list.count));
        for (int i = 0; i < list.count; i++) {
            index_.emplace(std::string_view(list.records[i].number), &list.records[i]);
        }
    }
    MailEntry* find(const char* number) const {
        auto found = index_.find(std::string_view(number));
        return found != index_.end() ? found->second : nullptr;
    }

private:
    std::unordered_map<std::string_view, MailEntry*> index_;
};

// Every record of from gives its mark to the first record of to with the
// same number.
void copyMarks(MailList& from, MailList& to) {
    if (from.records == nullptr || to.records == nullptr) {
        return;
    }
    NumberIndex partners(to);
    for (int i = 0; i < from.count; i++) {
        MailEntry* partner = partners.find(from.records[i].number);
        if (partner != nullptr) {
            partner->deletion = from.records[i].deletion;
        }
    }
}

// Each record of to takes the mark of the first record of from with its
// number.
void takeMarks(MailList& to, MailList& from) {
    if (from.records == nullptr || to.records == nullptr) {
        return;
    }
    NumberIndex partners(from);
    for (int i = 0; i < to.count; i++) {
        const MailEntry* partner = partners.find(to.records[i].number);
        if (partner != nullptr) {
            to.records[i].deletion = partner->deletion;
        }
    }
}

int countMarked(const MailList& list) {
    int n = 0;
    for (int i = 0; i < list.count && list.records != nullptr; i++) {
        n += list.records[i].deletion != 0 ? 1 : 0;
    }
    return n;
}

// Drops the marked records: they sort behind the unmarked ones and the count
// ends before them.
void dropMarked(MailList& list) {
    if (list.records == nullptr || list.count <= 0) {
        return;
    }
    sortMailRecords(list.records, list.count, MailKey::Mark, true);
    int kept = 0;
    while (kept < list.count && list.records[kept].deletion == 0) {
        kept++;
    }
    list.count = kept;
}

// What an append to DeleteMail.txt did, so that it can be taken back.
struct PendingAppend {
    LONGLONG oldLength = 0;
    LONGLONG newLength = 0;
};

// Appends text to DeleteMail.txt under the lock the retrieval run rewrites it
// under. False, logged, when nothing was appended.
bool appendToDeletionFile(const std::string& text, PendingAppend& done) {
    ServicePath path(kDeletionFile);
    ExclusiveLock lock(deletionFileLock());
    UniqueHandle file(
        openServiceFile(path.text, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS));
    if (!file) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь создать файл удаляемых писем %s. Ошибка %u: %s", path.text, failure.code, failure.text);
        return false;
    }
    LARGE_INTEGER zero = {};
    LARGE_INTEGER end = {};
    DWORD written = 0;
    DWORD size = static_cast<DWORD>(text.size());
    if (!SetFilePointerEx(file.get(), zero, &end, FILE_END) ||
        !WriteFile(file.get(), text.data(), size, &written, nullptr) || written != size) {
        SystemError failure(GetLastError());
        SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
        SetEndOfFile(file.get());
        writeLogf("Затрудняюсь создать файл удаляемых писем %s. Ошибка %u: %s", path.text, failure.code, failure.text);
        if (end.QuadPart == 0) {
            file.reset();
            deleteFile(path.text);
        }
        return false;
    }
    done.oldLength = end.QuadPart;
    done.newLength = end.QuadPart + size;
    return true;
}

// Takes an append back while the file still ends with it; once a retrieval
// run has rewritten the file the requests are its own and stay. True when
// the records no longer stand in the file.
bool takeBackAppend(const PendingAppend& done) {
    ServicePath path(kDeletionFile);
    ExclusiveLock lock(deletionFileLock());
    UniqueHandle file(createFile(path.text, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart != done.newLength) {
        return false;
    }
    LARGE_INTEGER end = {};
    end.QuadPart = done.oldLength;
    if (done.oldLength == 0) {
        file.reset();
        if (deleteFile(path.text)) {
            return true;
        }
        file.reset(createFile(path.text, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

// The lines of the marked records of MailDim, highest number (as text)
// first, with the mark written as "0".
std::string pendingLines() {
    sortMailRecords(MailDim.records, MailDim.count, MailKey::Number, false);
    std::string text;
    char line[kMailLineCapacity];
    for (int i = 0; i < MailDim.count; i++) {
        if (MailDim.records[i].deletion == 0) {
            continue;
        }
        MailEntry entry = MailDim.records[i];
        entry.deletion = 0;
        text.append(line, formatMailEntry(entry, line));
    }
    return text;
}

// After the pending records went into the archive, DeleteMail.txt must go:
// left behind it would make the next poll delete the mails the user took
// back. When it cannot be deleted, the archive is cut back (the mails stay
// pending, as the failed undo tells) or, failing that, the file is emptied
// (it then asks for nothing). True when the undo stands.
bool finishUndo(const char* archive, const char* deletions, const MailFileAppend& appended) {
    if (deleteFile(deletions) || GetLastError() == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    SystemError failure(GetLastError());
    writeLogf("Затрудняюсь удалить файл %s. Ошибка %u: %s", deletions, failure.code, failure.text);
    if (undoMailFileAppend(archive, deletions, appended)) {
        return false;
    }
    UniqueHandle file(createFile(deletions, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Neither worked: the mails stand in both files, and the next load keeps
    // them pending, as the failed undo tells.
    return static_cast<bool>(file);
}

} // namespace

void carryMarksFromShownTab(int currentTab) {
    if (NewMailDim.count <= 0) {
        return;
    }
    if (currentTab == 0) {
        copyMarks(NewMailDim, MailDim);
    } else {
        copyMarks(MailDim, NewMailDim);
    }
}

void carryMarksToShownTab(int currentTab) {
    if (NewMailDim.count <= 0) {
        return;
    }
    if (currentTab == 0) {
        takeMarks(NewMailDim, MailDim);
    } else {
        copyMarks(NewMailDim, MailDim);
    }
}

bool commitDeletion(HWND window, const char** failureNotice) {
    const char* unused = nullptr;
    const char*& notice = failureNotice != nullptr ? *failureNotice : unused;
    notice = nullptr;
    Viewer* viewer = viewerOf(window);
    if (viewer == nullptr || MailDim.records == nullptr || MailDim.count <= 0) {
        return false;
    }
    // Kept until the lists are saved: a failed save brings the mails back in
    // their order, which the groups point into.
    std::vector<MailEntry> archive(MailDim.records, MailDim.records + MailDim.count);
    std::vector<MailEntry> fresh;
    if (NewMailDim.records != nullptr) {
        fresh.assign(NewMailDim.records, NewMailDim.records + NewMailDim.count);
    }
    std::string lines = pendingLines();
    PendingAppend appended;
    if (!appendToDeletionFile(lines, appended)) {
        std::copy(archive.begin(), archive.end(), MailDim.records);
        notice = kDeletionFileNotice;
        return false;
    }
    ServicePath path(kDeletionFile);
    writeLogf("Массив MailDim из %d писем успешно сброшен в файл %s", MailDim.count, path.text);

    dropMarked(MailDim);
    if (NewMailDim.count > 0) {
        dropMarked(NewMailDim);
    }
    bool saved = false;
    saveMailLists(&saved);
    if (!saved && takeBackAppend(appended)) {
        // The mails stay in the lists, marked, and are not requested.
        MailDim.count = static_cast<int>(archive.size());
        std::copy(archive.begin(), archive.end(), MailDim.records);
        if (!fresh.empty()) {
            NewMailDim.count = static_cast<int>(fresh.size());
            std::copy(fresh.begin(), fresh.end(), NewMailDim.records);
        }
        writeLog("Удаление писем отменено: списки писем не сохранились");
        notice = kListsNotSavedNotice;
    } else {
        // Saved, or a poll took the requests over meanwhile: the deletion
        // stands, and the load keeps the mails out of the lists.
        saved = true;
        reloadMailLists(*viewer);
    }
    showReceivedInTray();
    if (!rebuildViewerList(*viewer, false)) {
        return false;
    }
    InvalidateRect(window, nullptr, TRUE);
    SetFocus(viewer->listControl());
    return saved;
}

void deleteMarkedMails(Viewer& viewer, HWND button) {
    carryMarksFromShownTab(viewer.currentTab);
    int marked = countMarked(MailDim);
    if (marked == 0) {
        showNotice("Не выбраны письма для удаления!", 1);
        return;
    }
    if (showMessagef(button, kAgentCaption, MB_YESNO | MB_ICONQUESTION,
                     "Действительно удалить %d выбранных писем с сервера?", marked) != IDYES) {
        return;
    }
    // The notice stays up while the lists are rewritten.
    showAlert("Удаление писем из списков. Минуточку...", 0);
    waitKeepingPainted(nullptr, gNoticePauseMs);
    const char* failure = nullptr;
    commitDeletion(viewer.window, &failure);
    hideAlert();
    // A deletion that did not happen is never silent: the marks stay and the
    // user hears why.
    if (failure != nullptr && gAgent.viewerOpen != 0) {
        showNotice(failure, 1);
    }
}

void undoDeletion(Viewer& viewer, HWND button) {
    if (showMessage(button, "Отменить удаление писем с сервера?", kAgentCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    ServicePath deletions(kDeletionFile);
    ServicePath archive(kArchiveFile);
    const char* refusal = nullptr;
    bool merged = false;
    {
        // A poll starts only from this thread, so none can begin before the
        // file has gone into the archive; the lock keeps out a retrieval run
        // that is still rewriting it.
        ExclusiveLock lock(deletionFileLock());
        if (gAgent.pollThread.load() != nullptr) {
            refusal = "Отменить удаление невозможно!";
        } else {
            UniqueHandle file(createFile(deletions.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD error = file ? 0 : GetLastError();
            file.reset();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                refusal = "Нет писем на удаление!";
            } else if (error != 0) {
                SystemError failure(error);
                writeLogf("Затрудняюсь открыть файл %s Ошибка %u: %s", deletions.text, failure.code, failure.text);
            } else {
                gAgent.undoInProgress = 1;
                saveMailLists();
                MailFileAppend appended;
                merged = appendMailFile(archive.text, deletions.text, &appended) &&
                         finishUndo(archive.text, deletions.text, appended);
                gAgent.undoInProgress = 0;
            }
        }
    }
    if (refusal != nullptr) {
        setUndoAvailable(viewer, false);
        showNotice(refusal, 1);
        return;
    }
    if (!merged) {
        writeLog("Слить удаленные письма с Архивом не удалось");
        showNotice("Отменить удаление не удалось!", 1);
        return;
    }
    writeLog("Слили удаленные письма с Архивом.");
    reloadMailLists(viewer);
    if (!rebuildViewerList(viewer, false)) {
        return;
    }
    InvalidateRect(viewer.window, nullptr, TRUE);
    SetFocus(viewer.listControl());
    showNotice("Письма успешно перемещены в Архив.", 0);
}
