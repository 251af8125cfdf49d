#include "settings/mailbox_text.h"

#include "base/text.h"

#include <cstring>

void trimTrailingBlanks(char* text) {
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ') {
        length--;
    }
    text[length] = '\0';
}

char stateForCheckBox(char state, bool checked) {
    if (checked) {
        return 'A';
    }
    return state == 'A' ? 'P' : state;
}

void selectedMailboxText(char* out, size_t capacity, int index) {
    formatText(out, capacity, "Выбран %d-й почтовый ящик", index + 1);
}
