#include "store/account_file.h"

#include "base/text.h"
#include "base/win_util.h"
#include "store/account_line.h"
#include "store/account_list.h"
#include "base/file_io.h"
#include "store/line_reader.h"

#include <cstdio>

namespace {

// Sets the owner's status line to a text "...Ошибка %u: %s" with the system
// text of code; path is given for texts that name the file.
void reportReadFailure(HWND owner, const char* format, const char* path, DWORD code) {
    HWND statusLine = owner != nullptr ? GetDlgItem(owner, kStatusLineId) : nullptr;
    if (statusLine == nullptr) {
        return;
    }
    char error[kErrorTextCapacity];
    systemErrorText(code, error);
    char text[1024];
    if (path != nullptr) {
        formatText(text, sizeof text, format, path, static_cast<unsigned>(code), error);
    } else {
        formatText(text, sizeof text, format, static_cast<unsigned>(code), error);
    }
    SetWindowTextA(statusLine, text);
}

} // namespace

bool readAccountFile(HWND owner, const char* path) {
    clearAccountList();
    // Other processes may read and write the file meanwhile.
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        reportReadFailure(owner, "Затрудняюсь открыть файл %s\r\nОшибка %u: %s", path, GetLastError());
        return false;
    }
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.get(), &length)) {
        reportReadFailure(owner, "Затрудняюсь определить длину файла %s\r\nОшибка %u: %s", path, GetLastError());
        return false;
    }
    if (length.QuadPart == 0) {
        return false;
    }
    uint64_t wanted = static_cast<uint64_t>(length.QuadPart);
    VirtualBlock image;
    if (wanted >= SIZE_MAX || !image.allocate(static_cast<size_t>(wanted) + 1)) {
        DWORD code = wanted >= SIZE_MAX ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
        reportReadFailure(owner, "Система не выделила память под буфер\r\nОшибка %u: %s", nullptr, code);
        return false;
    }
    uint64_t got = 0;
    if (!readFileBytes(file.get(), image.bytes(), wanted, got)) {
        reportReadFailure(owner, "Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", path, GetLastError());
        return false;
    }
    file.reset();
    image.bytes()[got] = '\0';
    size_t size = static_cast<size_t>(got);

    size_t lines = countLines(image.bytes(), size);
    if (lines > static_cast<size_t>(INT32_MAX) || !reserveAccounts(static_cast<int>(lines))) {
        reportReadFailure(owner, "Система не выделила память под буфер\r\nОшибка %u: %s", nullptr,
                          ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    LineReader reader(image.bytes(), size);
    const char* line;
    size_t lineLength;
    AccountEntry entry;
    while (reader.next(line, lineLength)) {
        parseAccountLine(line, lineLength, entry);
        appendAccount(entry);
    }
    return true;
}

bool writeAccountFile(HWND owner, const char* path) {
    ReplacementFile file;
    DWORD error = file.create(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (error == 0) {
        char line[kAccountLineCapacity];
        for (int i = 0; i < accountCount; i++) {
            size_t n = formatAccountLine(accountList[i], line);
            if (!file.write(line, n)) {
                break;
            }
        }
        error = file.commit();
    }
    if (error != 0) {
        char text[kErrorTextCapacity];
        systemErrorText(error, text);
        showMessagef(owner, kAgentCaption, MB_OK,
                     "Затрудняюсь открыть файл %s\r\nОшибка %u: %s\r\nПоследние изменения не будут сохранены!", path,
                     static_cast<unsigned>(error), text);
        return false;
    }
    return true;
}
