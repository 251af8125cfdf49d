#include "store/account_file.h"

#include "base/wide_text.h"
#include "base/file_io.h"
#include "base/text.h"
#include "base/win_util.h"
#include "resources/resource.h"
#include "store/account_line.h"
#include "store/account_list.h"
#include "store/line_reader.h"

namespace {

void reportReadFailure(AccountFileError& error, const char* path, const FileReadResult& result) {
    SystemError failure(result.code);
    switch (result.failedStep) {
    case FileReadStep::Open:
        formatText(error.text, sizeof error.text, "Затрудняюсь открыть файл %s\r\nОшибка %u: %s", path, failure.code,
                   failure.text);
        break;
    case FileReadStep::Size:
        formatText(error.text, sizeof error.text, "Затрудняюсь определить длину файла %s\r\nОшибка %u: %s", path,
                   failure.code, failure.text);
        break;
    case FileReadStep::Memory:
        formatText(error.text, sizeof error.text, "Система не выделила память под буфер\r\nОшибка %u: %s", failure.code,
                   failure.text);
        break;
    case FileReadStep::Read:
        formatText(error.text, sizeof error.text, "Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", path, failure.code,
                   failure.text);
        break;
    case FileReadStep::None:
        break;
    }
}

} // namespace

bool readAccountFile(const char* path, AccountFileError& error) {
    error = AccountFileError();
    accountList.clear();
    // Other processes may read and write the file meanwhile.
    FileImage image;
    FileReadResult result = readFileImage(path, FILE_SHARE_READ | FILE_SHARE_WRITE, image);
    if (!result.ok()) {
        reportReadFailure(error, path, result);
        return false;
    }
    if (image.size == 0) {
        return false;
    }
    // A line typed into the file by hand may lack its line end at the end.
    size_t lines = countLines(image.text(), image.size, UnfinishedLine::Read);
    if (lines > static_cast<size_t>(INT32_MAX) || !accountList.reserve(static_cast<int>(lines))) {
        FileReadResult noMemory;
        noMemory.failedStep = FileReadStep::Memory;
        noMemory.code = ERROR_NOT_ENOUGH_MEMORY;
        reportReadFailure(error, path, noMemory);
        return false;
    }
    LineReader reader(image.text(), image.size, UnfinishedLine::Read);
    const char* line;
    size_t lineLength;
    AccountEntry entry;
    while (reader.next(line, lineLength)) {
        parseAccountLine(line, lineLength, entry);
        accountList.append(entry);
    }
    return true;
}

bool writeAccountFile(const char* path, AccountFileError& error) {
    error = AccountFileError();
    ReplacementFile file;
    DWORD code = file.create(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (code == 0) {
        char line[kAccountLineCapacity];
        for (int i = 0; i < accountList.count(); i++) {
            size_t n = formatAccountLine(accountList[i], line);
            if (!file.write(line, n)) {
                break;
            }
        }
        code = file.commit();
    }
    if (code != 0) {
        SystemError failure(code);
        formatText(error.text, sizeof error.text,
                   "Затрудняюсь открыть файл %s\r\nОшибка %u: %s\r\nПоследние изменения не будут сохранены!", path,
                   failure.code, failure.text);
        return false;
    }
    return true;
}

void showAccountReadError(HWND page, const AccountFileError& error) {
    HWND statusLine = page != nullptr ? GetDlgItem(page, IDC_STATUS_LINE) : nullptr;
    if (statusLine != nullptr && error.any()) {
        setWindowText(statusLine, error.text);
    }
}

void showAccountWriteError(HWND owner, const AccountFileError& error) {
    if (error.any()) {
        showMessage(owner, error.text);
    }
}
