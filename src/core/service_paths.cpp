#include "core/service_paths.h"

#include "base/event_log.h"
#include "base/text.h"
#include "core/agent_state.h"

InstallationName::InstallationName(const char* prefix) {
    formatText(text, sizeof text, "%s%s", prefix, gAgent.serviceFolder);
    CharLowerA(text);
    for (char* p = text; *p != '\0'; p++) {
        if (*p == '\\') {
            *p = '_';
        }
    }
}

ServicePath::ServicePath(const char* name) {
    fits = joinPath(text, sizeof text, gAgent.serviceFolder, name);
    if (!fits) {
        writeLogf("Путь к файлу %s в служебной папке %s слишком длинен", name, gAgent.serviceFolder);
    }
}
