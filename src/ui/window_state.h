// State that belongs to one window: made when the window is created, reached
// through the window's handle, deleted when the window is gone. The slot is
// where the window keeps it: DWLP_USER for a dialog, GWLP_USERDATA for a
// window of the program's own classes.
#pragma once
#include <windows.h>

#include <memory>

// The window's state; null before it is attached and after it is detached.
template <typename T>
T* windowState(HWND window, int slot) {
    return reinterpret_cast<T*>(GetWindowLongPtrA(window, slot));
}

// Hands state over to the window. False when the window could not take it;
// the state is then deleted here.
template <typename T>
bool attachWindowState(HWND window, int slot, std::unique_ptr<T> state) {
    SetLastError(0);
    if (SetWindowLongPtrA(window, slot, reinterpret_cast<LONG_PTR>(state.get())) == 0 && GetLastError() != 0) {
        return false;
    }
    state.release();
    return true;
}

// Takes the state back from the window (at WM_NCDESTROY): it is deleted
// when the returned owner goes.
template <typename T>
std::unique_ptr<T> detachWindowState(HWND window, int slot) {
    std::unique_ptr<T> state(windowState<T>(window, slot));
    SetWindowLongPtrA(window, slot, 0);
    return state;
}

// For a state whose window may be destroyed while one of its handlers waits
// in a nested message loop (a message box, a notice, a test): the state
// holds a HandlerCount, every handler runs inside a HandlerScope, and
// WM_NCDESTROY calls releaseWindowState. The state then lives until the
// outermost handler has returned, so that a handler going on after its wait
// still finds it (its window calls fail harmlessly).
struct HandlerCount {
    int running = 0;
    bool windowGone = false;
};

template <typename T>
class HandlerScope {
public:
    explicit HandlerScope(T& state) : state_(state) { state_.handlers.running++; }
    ~HandlerScope() {
        if (--state_.handlers.running == 0 && state_.handlers.windowGone) {
            std::unique_ptr<T> gone(&state_);
        }
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    T& state_;
};

template <typename T>
void releaseWindowState(HWND window, int slot) {
    std::unique_ptr<T> state = detachWindowState<T>(window, slot);
    if (state && state->handlers.running > 0) {
        state->handlers.windowGone = true;
        state.release(); // the outermost HandlerScope deletes it
    }
}
