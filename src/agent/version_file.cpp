#include "agent/version_file.h"

#include "base/text.h"

#include <string>

VersionFile parseVersionFile(const char* text, size_t length) {
    VersionFile file;
    // Two bytes or fewer cannot be a version file.
    if (length <= 2) {
        return file;
    }
    std::string content(text, length);
    content.resize(content.find('\0') == std::string::npos ? content.size() : content.find('\0'));
    file.valid = true;
    file.version = leadingNumber(content.c_str());
    size_t comma = content.find(',');
    if (comma != std::string::npos) {
        file.hasSize = true;
        file.size = leadingNumber(content.c_str() + comma + 1);
    }
    return file;
}
