#include "agent/tray_menu.h"

#include "agent/poll_cycle.h"
#include "base/wide_text.h"
#include "core/agent_state.h"
#include "resources/resource.h"

namespace {

void addMenuItem(HMENU menu, UINT id, const char* text, bool enabled) {
    AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, WideText(text).get());
}

} // namespace

HMENU buildTrayMenu() {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return nullptr;
    }
    bool polling = pollRunning();
    bool settingsOpen = gAgent.settingsOpen != 0;
    bool viewerOpen = gAgent.viewerOpen != 0;
    if (polling) {
        addMenuItem(menu, IDM_POLL_NOW, "Опрос почты. Ждите...", false);
    } else {
        addMenuItem(menu, IDM_POLL_NOW, "Получить почту", !settingsOpen);
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    if (settingsOpen) {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", true);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", false);
    } else if (viewerOpen) {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", false);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", true);
    } else {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", !polling);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", !polling);
    }
    addMenuItem(menu, IDM_QUIT, "Отключить Агента", true);
    return menu;
}
