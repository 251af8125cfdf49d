#include "http_fixtures.h"

#include "win_test_support.h"

#include <windows.h>

#include <cstdlib>

namespace {

std::string controlFolder() {
    const char* value = getenv("KORVEL_HTTP_DIR");
    std::string folder = value != nullptr ? value : "";
    for (char& c : folder) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (!folder.empty() && folder.back() != '\\') {
        folder += '\\';
    }
    return folder;
}

} // namespace

std::string httpBaseUrl() {
    const char* value = getenv("KORVEL_HTTP_URL");
    return value != nullptr ? value : "";
}

void setVersionFile(const std::string& text) {
    writeFile(controlFolder() + "ver.dat", text);
}

void removeVersionFile() {
    DeleteFileA((controlFolder() + "ver.dat").c_str());
}

void setTelegramAccounts(const std::string& json) {
    writeFile(controlFolder() + "telegrams.json", json);
}

void setHttpBehaviour(const std::string& json) {
    writeFile(controlFolder() + "behaviour.json", json);
}

std::vector<std::string> httpRequests() {
    std::vector<std::string> lines;
    std::string text = readFile(controlFolder() + "requests.txt");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void clearHttpRequests() {
    DeleteFileA((controlFolder() + "requests.txt").c_str());
}
