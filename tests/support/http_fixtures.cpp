#include "http_fixtures.h"

#include "win_test_support.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>

namespace {

std::string controlFolder() {
    return folderFromEnvironment("KORVEL_HTTP_DIR");
}

// Asks the HTTP server for a control path; true when it answered 200.
bool askServer(const std::string& path) {
    HINTERNET session = InternetOpenA("Korvel tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
        return false;
    }
    std::string url = httpBaseUrl() + path;
    HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    DWORD status = 0;
    DWORD size = sizeof status;
    bool ok = request != nullptr &&
              HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
              status == 200;
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return ok;
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

void setUpdateFile(const std::string& bytes) {
    writeFile(controlFolder() + "Velnor.dat", bytes);
}

void removeUpdateFile() {
    DeleteFileA((controlFolder() + "Velnor.dat").c_str());
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

std::vector<std::string> crlRequests() {
    return readUnixLines(controlFolder() + "crl-requests.txt");
}

SystemNetwork::SystemNetwork() : up_(askServer("network/up")) {}

SystemNetwork::~SystemNetwork() {
    askServer("network/down");
}
