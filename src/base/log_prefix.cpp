#include "base/log_prefix.h"

#include "base/text.h"

size_t formatLogPrefix(char* buffer, size_t capacity, const LogTime& t) {
    return formatText(buffer, capacity, "%d.%d.%d %d:%d:%d - ", t.day, t.month, t.year, t.hour, t.minute, t.second);
}
