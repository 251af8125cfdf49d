#include "http_fixtures.h"

#include "win_test_support.h"

#include <windows.h>

#include <cstdlib>

namespace {

std::string controlFolder() {
    return folderFromEnvironment("KORVEL_HTTP_DIR");
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
    return readUnixLines(controlFolder() + "requests.txt");
}

void clearHttpRequests() {
    DeleteFileA((controlFolder() + "requests.txt").c_str());
}
