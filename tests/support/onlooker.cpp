#include "onlooker.h"

namespace {

constexpr DWORD kLookMs = 30;
constexpr int kLooksBetweenAsks = 16; // about half a second
constexpr UINT kAnswerTimeoutMs = 1000;
constexpr char kBoxCaption[] = "Lumetra Агент";
constexpr char kAlertClass[] = "AlertWin";

struct AlertSearch {
    DWORD processId;
    HWND found;
};

// The shown alert window over any window of this process.
BOOL CALLBACK findShownAlert(HWND top, LPARAM param) {
    auto* search = reinterpret_cast<AlertSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    if (pid != search->processId) {
        return TRUE;
    }
    HWND alert = FindWindowExA(top, nullptr, kAlertClass, nullptr);
    if (alert != nullptr && IsWindowVisible(alert)) {
        search->found = alert;
        return FALSE;
    }
    return TRUE;
}

// A window's text without sending it a message: its thread may be busy.
std::string textOf(HWND window) {
    wchar_t wide[256] = {};
    InternalGetWindowText(window, wide, 256);
    char text[512] = {};
    WideCharToMultiByte(1251, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

} // namespace

COLORREF alertColour(HWND alert) {
    RECT r;
    if (!GetWindowRect(alert, &r)) {
        return CLR_INVALID;
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return CLR_INVALID;
    }
    COLORREF colour = GetPixel(screen, r.left + 8, (r.top + r.bottom) / 2);
    ReleaseDC(nullptr, screen);
    return colour;
}

Onlooker::Onlooker(int button) : Onlooker(nullptr, button) {}

Onlooker::Onlooker(HWND watched, int button)
    : watched_(watched), button_(button), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (stop_) {
        thread_.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    }
}

Onlooker::~Onlooker() {
    if (thread_) {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

std::vector<std::string> Onlooker::boxes() {
    AcquireSRWLockExclusive(&lock_);
    std::vector<std::string> copy = boxes_;
    ReleaseSRWLockExclusive(&lock_);
    return copy;
}

HWND Onlooker::ownerOf(const std::string& text) {
    AcquireSRWLockExclusive(&lock_);
    auto found = owners_.find(text);
    HWND owner = found != owners_.end() ? found->second : nullptr;
    ReleaseSRWLockExclusive(&lock_);
    return owner;
}

int Onlooker::defaultButton(const std::string& text) {
    AcquireSRWLockExclusive(&lock_);
    auto found = defaults_.find(text);
    int button = found != defaults_.end() ? found->second : 0;
    ReleaseSRWLockExclusive(&lock_);
    return button;
}

std::vector<std::string> Onlooker::notices() {
    AcquireSRWLockExclusive(&lock_);
    std::vector<std::string> copy = notices_;
    ReleaseSRWLockExclusive(&lock_);
    return copy;
}

COLORREF Onlooker::alert(const std::string& text) {
    AcquireSRWLockExclusive(&lock_);
    auto found = colours_.find(text);
    COLORREF colour = found != colours_.end() ? found->second : CLR_INVALID;
    ReleaseSRWLockExclusive(&lock_);
    return colour;
}

bool Onlooker::alertSeen() {
    return !notices().empty();
}

// Windows come and go without telling another thread: the onlooker looks
// at them every few milliseconds until it is stopped.
DWORD WINAPI Onlooker::run(void* param) {
    auto* self = static_cast<Onlooker*>(param);
    for (int looks = 0; WaitForSingleObject(self->stop_.get(), kLookMs) == WAIT_TIMEOUT; looks++) {
        self->look(looks % kLooksBetweenAsks == 0);
    }
    return 0;
}

void Onlooker::look(bool askWatched) {
    lookAtAlert();
    HWND box = lookAtBox();
    if (askWatched && watched_ != nullptr && box == nullptr && IsWindow(watched_)) {
        DWORD_PTR result = 0;
        bool answer = SendMessageTimeoutA(watched_, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result) != 0;
        (answer ? answered : unanswered)++;
    }
}

void Onlooker::lookAtAlert() {
    AlertSearch search{GetCurrentProcessId(), nullptr};
    EnumWindows(findShownAlert, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return;
    }
    std::string text = textOf(search.found);
    COLORREF colour = alertColour(search.found);
    AcquireSRWLockExclusive(&lock_);
    if (notices_.empty() || notices_.back() != text) {
        notices_.push_back(text);
    }
    colours_[text] = colour; // the last look, after the paint
    ReleaseSRWLockExclusive(&lock_);
}

HWND Onlooker::lookAtBox() {
    HWND box = FindWindowA("#32770", kBoxCaption);
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    if (box == nullptr || pid != GetCurrentProcessId() || !IsWindowVisible(box)) {
        return nullptr;
    }
    if (box == answeredBox_) {
        return box;
    }
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    int defaultId = 0;
    for (HWND button = GetWindow(box, GW_CHILD); button != nullptr; button = GetWindow(button, GW_HWNDNEXT)) {
        if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            defaultId = GetDlgCtrlID(button);
        }
    }
    AcquireSRWLockExclusive(&lock_);
    boxes_.push_back(text);
    owners_[text] = GetWindow(box, GW_OWNER);
    defaults_[text] = defaultId;
    ReleaseSRWLockExclusive(&lock_);
    int button = GetDlgItem(box, button_) != nullptr ? button_ : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    answeredBox_ = box;
    return box;
}
