#include "store/tls_logins.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "store/line_reader.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Longer lines are no mailbox's: an address and a server name are far shorter.
constexpr size_t kLongestLine = 1024;

// The poll, the IDLE connections and the mailbox page log in on threads of
// their own: each reads the file and writes it back whole, one at a time, so
// that no thread's line is lost to another's write.
SRWLOCK fileLock = SRWLOCK_INIT;

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string mailboxKey(const char* address, const char* server) {
    return lowerAscii(std::string(address) + ";" + server);
}

// "address;server": one ";" with text on both sides, no control character.
bool isMailboxLine(const char* line, size_t length) {
    if (length == 0 || length > kLongestLine) {
        return false;
    }
    size_t semicolons = 0;
    size_t at = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20) {
            return false;
        }
        if (c == ';') {
            semicolons++;
            at = i;
        }
    }
    return semicolons == 1 && at > 0 && at + 1 < length;
}

// The mailboxes the file names, its damaged lines left out. False when the
// file is there but cannot be read; a missing file names none.
bool readMailboxes(const ServicePath& path, std::vector<std::string>& keys) {
    keys.clear();
    if (!path.fits) {
        return false;
    }
    FileImage image;
    FileReadResult result = readFileImage(path.text, FILE_SHARE_READ, image);
    if (!result.ok()) {
        bool missing = result.failedStep == FileReadStep::Open &&
                       (result.code == ERROR_FILE_NOT_FOUND || result.code == ERROR_PATH_NOT_FOUND);
        if (!missing) {
            SystemError failure(result.code);
            writeLogf("Затрудняюсь прочитать файл %s. Ошибка %u: %s", path.text, failure.code, failure.text);
        }
        return missing;
    }
    LineReader lines(image.text(), image.size, UnfinishedLine::Read);
    const char* line = nullptr;
    size_t length = 0;
    while (image.size > 0 && lines.next(line, length)) {
        if (isMailboxLine(line, length)) {
            keys.push_back(lowerAscii(std::string(line, length)));
        }
    }
    return true;
}

// The file rewritten whole (none left behind half written); without lines
// it is empty.
bool writeMailboxes(const ServicePath& path, const std::vector<std::string>& keys) {
    ReplacementFile out;
    DWORD error = out.create(path.text, FILE_SHARE_READ);
    if (error == 0) {
        for (const std::string& key : keys) {
            out.write(key.data(), key.size());
            out.write("\r\n", 2);
        }
        error = out.commit();
    }
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл %s. Ошибка %u: %s", path.text, failure.code, failure.text);
    }
    return error == 0;
}

} // namespace

TlsLoginRecord tlsLoginRecord(const char* address, const char* server) {
    ExclusiveLock lock(fileLock);
    ServicePath path(kTlsLoginsFile);
    std::vector<std::string> keys;
    if (!readMailboxes(path, keys)) {
        return TlsLoginRecord::Unreadable;
    }
    bool found = std::find(keys.begin(), keys.end(), mailboxKey(address, server)) != keys.end();
    return found ? TlsLoginRecord::Present : TlsLoginRecord::Absent;
}

bool rememberTlsLogin(const char* address, const char* server) {
    ExclusiveLock lock(fileLock);
    ServicePath path(kTlsLoginsFile);
    std::vector<std::string> keys;
    // A file that cannot be read is not overwritten: it may name others.
    if (!readMailboxes(path, keys)) {
        return false;
    }
    std::string key = mailboxKey(address, server);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
        return true;
    }
    keys.push_back(key);
    return writeMailboxes(path, keys);
}

bool forgetTlsLogin(const char* address, const char* server) {
    ExclusiveLock lock(fileLock);
    ServicePath path(kTlsLoginsFile);
    std::vector<std::string> keys;
    if (!readMailboxes(path, keys)) {
        return false;
    }
    auto kept = std::remove(keys.begin(), keys.end(), mailboxKey(address, server));
    if (kept == keys.end()) {
        return true;
    }
    keys.erase(kept, keys.end());
    return writeMailboxes(path, keys);
}
