// Sets the time zone of the C runtime for this process, as the TZ variable
// would at start-up ("UTC0", "MSK-3" for UTC+3).
#pragma once
#include <cstdlib>
#include <ctime>
#include <string>

inline void setTimeZone(const char* zone) {
#ifdef _WIN32
    std::string setting = std::string("TZ=") + zone;
    _putenv(setting.c_str());
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}
