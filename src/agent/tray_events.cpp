#include "agent/tray_events.h"

#include "base/file_io.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/newest_mail.h"
#include "core/program_names.h"
#include "core/settings_file.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "store/line_reader.h"
#include "ui/tray_icon.h"

namespace {

// Notifications of what came by itself keep quiet while Windows asks for
// quiet (the first hour after a new user's first logon, presentations); the
// first start's hint follows the user's own installation and does not.
constexpr DWORD kBackgroundNotice = NIIF_NONE | NIIF_RESPECT_QUIET_TIME;

constexpr char kIconHint[] = "Значок Агента находится в области уведомлений. Чтобы он был виден всегда, "
                             "перетащите его из скрытых значков (стрелка ^ рядом с часами) на панель задач.";
constexpr char kAddMailboxOffer[] = " Нажмите здесь, чтобы добавить почтовый ящик.";

bool show(TrayEvents& events, TrayNotice kind, const char* title, const char* text, DWORD flags) {
    if (!showTrayNotification(TrayNotification{title, text, flags})) {
        return false;
    }
    events.lastShown = kind;
    return true;
}

// The installation writes the account list empty: a line in it is a mailbox.
bool hasMailbox() {
    ServicePath path(kMailBoxFile);
    FileImage image;
    if (!readFileImage(path.text, FILE_SHARE_READ | FILE_SHARE_WRITE, image).ok()) {
        return true; // unreadable now: offer nothing that may be wrong
    }
    LineReader lines(image.text(), image.size, UnfinishedLine::Read);
    const char* line = nullptr;
    size_t length = 0;
    while (lines.next(line, length)) {
        if (length != 0) {
            return true;
        }
    }
    return false;
}

// The hint goes once for the installation: it is marked given as soon as the
// shell has taken it.
void giveFirstStartHint(TrayEvents& events) {
    if (firstStartHintGiven()) {
        return;
    }
    bool empty = !hasMailbox();
    char text[256];
    formatText(text, sizeof text, "%s%s", kIconHint, empty ? kAddMailboxOffer : "");
    if (show(events, empty ? TrayNotice::FirstStartEmpty : TrayNotice::FirstStart, kAgentCaption, text, NIIF_INFO)) {
        recordFirstStartHint();
    }
}

void announceNewMail(TrayEvents& events) {
    NewestMail mail = newestMail();
    if (mail.count <= 0) {
        return;
    }
    char title[64];
    formatText(title, sizeof title, "Новых писем - %d", mail.count);
    char text[256];
    formatText(text, sizeof text, "%s\n%s", mail.sender, mail.subject);
    show(events, TrayNotice::NewMail, title, text, kBackgroundNotice);
}

} // namespace

void announceStart(TrayEvents& events) {
    if (!events.startPending) {
        return;
    }
    events.startPending = false;
    int received = gAgent.receivedCount;
    if (received != 0) {
        char text[64];
        formatText(text, sizeof text, "Ранее принято писем - %d", received);
        // Old news at every logon: shown without a sound.
        show(events, TrayNotice::EarlierMail, "", text, kBackgroundNotice | NIIF_NOSOUND);
    }
    giveFirstStartHint(events);
}

void announcePollEnd(TrayEvents& events, bool broughtMail, bool newVersion) {
    // An open viewer shows the new mail itself.
    if (broughtMail && !gAgent.viewerOpen) {
        announceNewMail(events);
    }
    if (newVersion) {
        show(events, TrayNotice::NewVersion, "", "Имеется новая версия программы.", kBackgroundNotice);
    }
}

UINT noticeClickCommand(const TrayEvents& events) {
    return events.lastShown == TrayNotice::FirstStartEmpty ? IDM_SETTINGS : IDM_VIEW_MAIL;
}
