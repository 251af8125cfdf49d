#include "base/wide_text.h"

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
