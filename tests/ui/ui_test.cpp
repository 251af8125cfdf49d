// The window pieces several windows share, on real windows of the test's
// own thread: the notice and its wait, the "Кнопка" class, and state that a
// window owns through its handle.
#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "ui/alert_window.h"
#include "ui/button.h"
#include "ui/paint_wait.h"
#include "ui/window_state.h"

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr char kParentClass[] = "KorvelUiTestParent";

// What the parent window was given: commands and clicks, in order.
std::vector<UINT> parentMessages;

LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_LBUTTONDOWN || message == WM_APP) {
        parentMessages.push_back(message == WM_COMMAND ? LOWORD(wParam) : message);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Unicode classes, as the program registers them.
void registerClass(const char* name, WNDPROC proc) {
    WideText wideName(name);
    WNDCLASSW c = {};
    c.lpfnWndProc = proc;
    c.hInstance = gAgent.instance;
    c.lpszClassName = wideName.get();
    c.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassW(&c);
}

class Ui : public ::testing::Test {
protected:
    void SetUp() override {
        gAgent.instance = GetModuleHandleA(nullptr);
        registerClass(kParentClass, parentProc);
        registerClass(kAlertWindowClass, alertWindowProc);
        registerClass(kButtonClass, buttonWindowProc);
        parent = CreateWindowExA(0, kParentClass, "ui", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                 nullptr, gAgent.instance, nullptr);
        ASSERT_NE(nullptr, parent);
        parentMessages.clear();
    }
    void TearDown() override {
        DestroyWindow(parent);
        gAgent.alertWindow = nullptr;
        gNoticePauseMs = kNoticePauseMs;
    }
    HWND parent = nullptr;
};

TEST_F(Ui, ANoticeStaysUpForItsPauseAnswersSendersAndDropsClicks) {
    HWND alert = createAlertWindow(parent);
    ASSERT_NE(nullptr, alert);
    EXPECT_FALSE(IsWindowVisible(alert));
    gNoticePauseMs = 400;
    // Another thread sends to the waiting thread's window and must get its
    // answer while the notice is still up.
    struct Sender {
        HWND target, alert;
        bool alertVisibleWhenAnswered = false;
    } sender{parent, alert};
    UniqueHandle thread(CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* s = static_cast<Sender*>(p);
            while (!IsWindowVisible(s->alert)) {
                Sleep(5); // until the notice is up
            }
            SendMessageA(s->target, WM_APP, 0, 0);
            s->alertVisibleWhenAnswered = IsWindowVisible(s->alert) != FALSE;
            return 0;
        },
        &sender, 0, nullptr));
    ASSERT_TRUE(thread);
    // A click given during the wait must not act after it.
    PostMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    showNotice("Проверка", 1);
    EXPECT_FALSE(IsWindowVisible(alert));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 5000));
    EXPECT_TRUE(sender.alertVisibleWhenAnswered);
    char text[64] = {};
    GetWindowTextA(alert, text, sizeof text);
    EXPECT_STREQ("Проверка", text);
    EXPECT_EQ(1, gAgent.alertIsError);
    pumpPendingMessages();
    EXPECT_EQ(std::vector<UINT>{WM_APP}, parentMessages);
}

TEST_F(Ui, ANoticeUntilAnEventEndsWhenItIsSignalled) {
    HWND alert = createAlertWindow(parent);
    UniqueHandle event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    EXPECT_TRUE(showNoticeUntil("Минуточку", 0, event.get(), 10000));
    EXPECT_FALSE(IsWindowVisible(alert));
    ResetEvent(event.get());
    EXPECT_FALSE(showNoticeUntil("Минуточку", 0, event.get(), 50));
    EXPECT_FALSE(IsWindowVisible(alert));
}

TEST(AlertColours, ErrorsRedASuccessfulTestGreenTheRestBlue) {
    COLORREF blue = alertBackground("Идёт приём почты. Минуточку...", 0, 1);
    COLORREF red = alertBackground("Нет соединения с Интернет!", 1, 1);
    COLORREF green = alertBackground("Успешное тестирование.", 0, 0);
    EXPECT_NE(blue, red);
    EXPECT_NE(blue, green);
    EXPECT_NE(red, green);
    // Green only for the mailbox test's success, whatever the Latin case.
    EXPECT_EQ(blue, alertBackground("Успешное тестирование.", 0, 1));
    EXPECT_EQ(red, alertBackground("Успешное тестирование.", 1, 1));
}

TEST_F(Ui, AButtonTellsItsParentAndALinkDoesNot) {
    HWND button = CreateWindowExA(0, kButtonClass, "Удалить", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(77)), gAgent.instance, nullptr);
    ASSERT_NE(nullptr, button);
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(std::vector<UINT>{77}, parentMessages);

    RECT area = {100, 10, 180, 30};
    HWND link = createLinkButton(parent, area, "");
    ASSERT_NE(nullptr, link);
    EXPECT_NE(0, GetWindowLongPtrA(link, GWLP_USERDATA)); // the address lives on the window
    DestroyWindow(link);
    EXPECT_EQ(std::vector<UINT>{77}, parentMessages);
}

// A window whose state counts its handlers; the test's handler destroys the
// window in the middle, as a page closed during a message box is.
struct CountedState {
    HandlerCount handlers;
    bool* alive = nullptr;
    ~CountedState() { *alive = false; }
};

LRESULT CALLBACK countedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_APP: {
        CountedState* state = windowState<CountedState>(window, GWLP_USERDATA);
        HandlerScope<CountedState> scope(*state);
        DestroyWindow(window);
        // The window is gone, its state is not: the handler still reads it.
        *reinterpret_cast<bool*>(wParam) = *state->alive;
        return 0;
    }
    case WM_NCDESTROY:
        releaseWindowState<CountedState>(window, GWLP_USERDATA);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

TEST_F(Ui, WindowStateLivesUntilTheOutermostHandlerReturns) {
    registerClass("KorvelUiCounted", countedProc);
    bool alive = true;
    HWND window =
        CreateWindowExA(0, "KorvelUiCounted", "", WS_CHILD, 0, 0, 1, 1, parent, nullptr, gAgent.instance, nullptr);
    ASSERT_NE(nullptr, window);
    auto state = std::make_unique<CountedState>();
    state->alive = &alive;
    ASSERT_TRUE(attachWindowState(window, GWLP_USERDATA, std::move(state)));
    bool aliveInsideHandler = false;
    SendMessageA(window, WM_APP, reinterpret_cast<WPARAM>(&aliveInsideHandler), 0);
    EXPECT_TRUE(aliveInsideHandler);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(alive);

    // Without a handler running, the state goes with its window.
    alive = true;
    window = CreateWindowExA(0, "KorvelUiCounted", "", WS_CHILD, 0, 0, 1, 1, parent, nullptr, gAgent.instance, nullptr);
    state = std::make_unique<CountedState>();
    state->alive = &alive;
    ASSERT_TRUE(attachWindowState(window, GWLP_USERDATA, std::move(state)));
    DestroyWindow(window);
    EXPECT_FALSE(alive);
}

} // namespace
