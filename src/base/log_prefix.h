// The prefix of an event log entry: "day.month.year hour:minute:second - ",
// every number in plain decimal without leading zeros.
#pragma once
#include <cstddef>

struct LogTime {
    int day;
    int month;
    int year;
    int hour;
    int minute;
    int second;
};

constexpr size_t kLogPrefixCapacity = 64;

// Writes the prefix into buffer and returns its length.
size_t formatLogPrefix(char* buffer, size_t capacity, const LogTime& time);
