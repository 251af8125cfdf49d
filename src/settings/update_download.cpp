#include "settings/update_download.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/internet.h"
#include "base/sha256.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "resources/resource.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {

// A smaller file cannot be the updater.
constexpr size_t kMinUpdateSize = 200000;
// Without an announced size a longer file is not taken for the updater.
constexpr size_t kUnannouncedLimit = 4 * 1024 * 1024;
// The whole download may take as long as its largest size takes at this
// rate: a slow line still gets its update, and the user sees it come and may
// cancel it.
constexpr DWORD kUpdateMinBytesPerSecond = 1024;
// How long a cancelled download's thread is waited for. A receive that waits
// for a silent server is not always cut short by the cancel; the thread is
// then left to end by itself, so that neither the page nor the agent's end
// waits for the server.
constexpr DWORD kThreadEndWaitMs = 1000;
// What the download answers to the body of an error page: it is not read.
constexpr DWORD kBodyDeclined = ERROR_CANCELLED;

} // namespace

// One download: shared by the user-interface thread and the download's
// thread, deleted by whichever lets go of it last.
class UpdateDownloadJob : public HttpSink {
public:
    UpdateDownloadJob(HWND notify, const UpdateRequest& request, WPARAM serial)
        : number(serial), notify_(notify), request_(request) {}

    DWORD begin(const HttpResult& reply) override;
    DWORD take(const char* data, size_t size) override;
    void run();

    HWND notifyWindow() const { return notify_; }
    // One more reference, for the download's thread.
    void addReference() { ++references_; }
    void release() {
        if (--references_ == 0) {
            delete this;
        }
    }

    const WPARAM number; // tells this download's end from an earlier one's
    InternetSession session;
    std::atomic<unsigned long long> received{0};
    std::atomic<unsigned long long> expected{0};
    std::atomic<bool> progressPosted{false};
    UpdateOutcome outcome = UpdateOutcome::Cancelled; // read only after the thread's end

private:
    void postProgress() {
        if (!progressPosted.exchange(true)) {
            PostMessageA(notify_, WM_UPDATE_PROGRESS, 0, 0);
        }
    }
    size_t limit() const {
        return request_.announcedSize > 0 ? static_cast<size_t>(request_.announcedSize) : kUnannouncedLimit;
    }
    UpdateOutcome check(const HttpResult& reply);
    UpdateOutcome checkHash();
    UpdateOutcome store();

    HWND notify_;
    UpdateRequest request_;
    ReplacementFile file_;
    Sha256 hash_;
    UpdateOutcome fileFailure_ = UpdateOutcome::Stored;
    std::atomic<int> references_{1};
};

void UpdateDownloadJobRelease::operator()(UpdateDownloadJob* job) const {
    job->release();
}

namespace {

using JobReference = std::unique_ptr<UpdateDownloadJob, UpdateDownloadJobRelease>;

} // namespace

DWORD UpdateDownloadJob::begin(const HttpResult& reply) {
    // An error page is no update file: nothing of it is written.
    if (reply.status < 200 || reply.status > 299) {
        return kBodyDeclined;
    }
    unsigned long long size = request_.announcedSize;
    expected = reply.lengthKnown ? reply.contentLength : size;
    DWORD error = file_.create(request_.target, FILE_SHARE_READ);
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл обновления %s   Ошибка %u: %s", request_.target, failure.code,
                  failure.text);
        fileFailure_ = UpdateOutcome::NotCreated;
        return error;
    }
    if (request_.hash[0] != '\0') {
        hash_.begin(); // a failure shows when the digest is asked for
    }
    postProgress();
    return 0;
}

DWORD UpdateDownloadJob::take(const char* data, size_t size) {
    if (!file_.write(data, size)) {
        DWORD error = file_.commit(); // gives the first failure and drops the file
        SystemError failure(error);
        writeLogf("Затрудняюсь скопировать буфер в файл обновления %s   Ошибка %u: %s", request_.target, failure.code,
                  failure.text);
        fileFailure_ = UpdateOutcome::NotWritten;
        return error;
    }
    if (request_.hash[0] != '\0') {
        hash_.add(data, size);
    }
    received += size;
    postProgress();
    return 0;
}

// The received file against what the server announced for its body, the
// limits of an updater, and the announced size.
UpdateOutcome UpdateDownloadJob::check(const HttpResult& reply) {
    unsigned size = static_cast<unsigned>(reply.size);
    // A body that broke off is as short as one that never came.
    if (reply.error != 0 || size <= kMinUpdateSize) {
        writeLogf("Ошибка! Принято всего %u байт файла обновления!", size);
        return UpdateOutcome::NotArrived;
    }
    if (request_.announcedSize <= 0) {
        if (reply.bufferFull) {
            writeLogf("Ошибка! Файл обновления больше %u байт!", static_cast<unsigned>(kUnannouncedLimit));
            return UpdateOutcome::NotArrived;
        }
        writeLogf("Принят файл обновления в %u байт. Нет гарантии на его полноту!", size);
    } else if (reply.size == static_cast<size_t>(request_.announcedSize)) {
        writeLogf("Принят файл обновления с гарантированно полным содержимым в %u байт.", size);
    } else {
        writeLogf("Ошибка! Принят файл обновления с неполным содержимым в %u байт!", size);
        return UpdateOutcome::Mismatch;
    }
    return checkHash();
}

UpdateOutcome UpdateDownloadJob::checkHash() {
    if (request_.hash[0] == '\0') {
        return UpdateOutcome::Stored;
    }
    char digest[kSha256HexCapacity];
    DWORD error = hash_.finishHex(digest);
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь вычислить контрольную сумму файла обновления. Ошибка %u: %s", failure.code,
                  failure.text);
        return UpdateOutcome::Mismatch;
    }
    if (strcmp(digest, request_.hash) != 0) {
        writeLogf("Ошибка! Контрольная сумма SHA-256 файла обновления %s не совпадает с объявленной %s!", digest,
                  request_.hash);
        return UpdateOutcome::Mismatch;
    }
    writeLog("Контрольная сумма SHA-256 файла обновления совпала.");
    return UpdateOutcome::Stored;
}

// The checked file takes the place of "Velnor.exe"; a cancel that came
// meanwhile still keeps it out.
UpdateOutcome UpdateDownloadJob::store() {
    if (session.cancelled()) {
        return UpdateOutcome::Cancelled;
    }
    DWORD error = file_.commit();
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь скопировать буфер в файл обновления %s   Ошибка %u: %s", request_.target, failure.code,
                  failure.text);
        return UpdateOutcome::NotWritten;
    }
    return UpdateOutcome::Stored;
}

// The thread's work. Whatever ends it early, the temporary file goes with
// the ReplacementFile.
void UpdateDownloadJob::run() {
    // One byte past the limit tells a longer file from one of the limit.
    HttpResult reply = httpGetStream(session, request_.url, limit() + 1, kUpdateMinBytesPerSecond, *this);
    if (session.cancelled()) {
        outcome = UpdateOutcome::Cancelled;
    } else if (fileFailure_ != UpdateOutcome::Stored) {
        outcome = fileFailure_;
    } else if (reply.status < 200 || reply.status > 299) {
        writeLog("Затрудняюсь соединиться с сервером для получения файла обновления!");
        outcome = UpdateOutcome::NoAnswer;
    } else {
        outcome = check(reply);
        if (outcome == UpdateOutcome::Stored) {
            outcome = store();
        }
    }
}

namespace {

// The thread takes over the reference it is started with.
DWORD WINAPI downloadThread(void* argument) {
    JobReference job(static_cast<UpdateDownloadJob*>(argument));
    job->run();
    HWND notify = job->notifyWindow();
    WPARAM number = job->number;
    job.reset();
    PostMessageA(notify, WM_UPDATE_DONE, number, 0);
    return 0;
}

} // namespace

UpdateOutcome UpdateDownload::letGo(DWORD waitMs) {
    UpdateOutcome outcome = UpdateOutcome::Cancelled;
    if (WaitForSingleObject(thread_.get(), waitMs) == WAIT_OBJECT_0) {
        outcome = job_->outcome;
    }
    job_.reset();
    thread_.reset();
    return outcome;
}

bool UpdateDownload::start(HWND notify, const UpdateRequest& request, UpdateOutcome& failure) {
    if (job_ != nullptr) {
        return true;
    }
    JobReference job(new (std::nothrow) UpdateDownloadJob(notify, request, lastNumber_ + 1));
    if (job == nullptr) {
        SystemError error(ERROR_NOT_ENOUGH_MEMORY);
        writeLogf("Система не выделила память под буфер для загрузки обновления. Ошибка %u: %s", error.code,
                  error.text);
        failure = UpdateOutcome::NoMemory;
        return false;
    }
    if (!job->session.opened()) {
        writeLog("Затрудняюсь открыть Интернет-сессию для получения файла обновлений.");
        failure = UpdateOutcome::NoSession;
        return false;
    }
    job->addReference();
    UniqueHandle thread(CreateThread(nullptr, 0, downloadThread, job.get(), 0, nullptr));
    if (!thread) {
        SystemError error(GetLastError());
        job->release(); // the thread's reference, never taken over
        writeLogf("Затрудняюсь запустить загрузку файла обновления. Ошибка %u: %s", error.code, error.text);
        failure = UpdateOutcome::NotArrived;
        return false;
    }
    lastNumber_ = job->number;
    job_ = std::move(job);
    thread_ = std::move(thread);
    return true;
}

void UpdateDownload::progress(unsigned long long& received, unsigned long long& expected) {
    received = 0;
    expected = 0;
    if (job_ != nullptr) {
        job_->progressPosted = false;
        received = job_->received;
        expected = job_->expected;
    }
}

bool UpdateDownload::takeEnd(WPARAM number, UpdateOutcome& outcome) {
    if (job_ == nullptr || job_->number != number) {
        return false;
    }
    // The thread posts its end as its last step.
    outcome = letGo(INFINITE);
    return true;
}

void UpdateDownload::cancel() {
    if (job_ == nullptr) {
        return;
    }
    writeLog("Загрузка файла обновления отменена.");
    job_->session.cancel();
    letGo(kThreadEndWaitMs);
}
