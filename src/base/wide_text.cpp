#include "base/wide_text.h"

#include "base/text.h"

#include <cwchar>
#include <vector>

WideText::WideText(const char* text) {
    if (text == nullptr) {
        return;
    }
    int length = MultiByteToWideChar(kTextCodePage, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return;
    }
    text_.resize(static_cast<size_t>(length));
    if (MultiByteToWideChar(kTextCodePage, 0, text, -1, &text_[0], length) != length) {
        text_.clear();
        return;
    }
    text_.resize(static_cast<size_t>(length - 1)); // without the terminating zero
}

size_t widenText(const char* text, wchar_t* wide, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    WideText converted(text);
    size_t length = wcslen(converted.get());
    if (length >= capacity) {
        length = capacity - 1;
    }
    wmemcpy(wide, converted.get(), length);
    wide[length] = L'\0';
    return length;
}

size_t narrowText(const wchar_t* wide, char* text, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    text[0] = '\0';
    int size = WideCharToMultiByte(kTextCodePage, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return 0;
    }
    std::string narrow(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(kTextCodePage, 0, wide, -1, &narrow[0], size, nullptr, nullptr) != size) {
        return 0;
    }
    return copyText(text, capacity, narrow.c_str());
}

bool setWindowText(HWND window, const char* text) {
    return SetWindowTextW(window, WideText(text).get()) != FALSE;
}

bool setItemText(HWND dialog, int id, const char* text) {
    return SetDlgItemTextW(dialog, id, WideText(text).get()) != FALSE;
}

size_t windowText(HWND window, char* text, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    text[0] = '\0';
    int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return 0;
    }
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1);
    if (GetWindowTextW(window, wide.data(), length + 1) <= 0) {
        return 0;
    }
    return narrowText(wide.data(), text, capacity);
}

size_t itemText(HWND dialog, int id, char* text, size_t capacity) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) {
        if (capacity > 0) {
            text[0] = '\0';
        }
        return 0;
    }
    return windowText(item, text, capacity);
}
