#include "core/service_paths.h"

#include "base/event_log.h"
#include "core/agent_state.h"

ServicePath::ServicePath(const char* name) {
    fits = joinPath(text, sizeof text, gAgent.serviceFolder, name);
    if (!fits) {
        writeLogf("Путь к файлу %s в служебной папке %s слишком длинен", name, gAgent.serviceFolder);
    }
}
