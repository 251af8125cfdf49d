// Another thread's view of the program's windows while the test's own thread,
// the user-interface thread, is busy inside them: the notices of the alert
// window, the program's message boxes (which it answers), and whether a
// watched window's thread still answers messages.
#pragma once
#include <windows.h>

#include "base/win_handles.h"

#include <atomic>
#include <map>
#include <string>
#include <vector>

// The fill colour of a shown alert window as the screen shows it, read
// beside its centred text (no message goes to the alert's busy thread).
COLORREF alertColour(HWND alert);

class Onlooker {
public:
    // Answers every message box captioned "Lumetra Агент" with button, or
    // with OK when the box has no such button.
    explicit Onlooker(int button = IDOK);
    // The same, and asks watched's thread every half second whether it
    // answers (answered / unanswered), while no message box is up.
    explicit Onlooker(HWND watched, int button = IDOK);
    ~Onlooker();
    Onlooker(const Onlooker&) = delete;
    Onlooker& operator=(const Onlooker&) = delete;

    // The texts of the boxes answered, in order.
    std::vector<std::string> boxes();
    // The window that owned the box with that text; null when it had none
    // or the text was never seen.
    HWND ownerOf(const std::string& text);
    // The box's default button (the one Enter presses); 0 when the text was
    // never seen.
    int defaultButton(const std::string& text);
    // The texts the alert window showed, in order (a text shown on and on
    // counts once).
    std::vector<std::string> notices();
    // The colour the alert window was last seen painted in with that text;
    // CLR_INVALID when the text was never seen.
    COLORREF alert(const std::string& text);
    bool alertSeen();

    std::atomic<int> answered{0};
    std::atomic<int> unanswered{0};

private:
    static DWORD WINAPI run(void* self);
    void look(bool askWatched);
    void lookAtAlert();
    HWND lookAtBox();

    HWND watched_ = nullptr;
    int button_ = IDOK;
    HWND answeredBox_ = nullptr;
    UniqueHandle stop_;
    UniqueHandle thread_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::string> boxes_;
    std::map<std::string, HWND> owners_;
    std::map<std::string, int> defaults_;
    std::vector<std::string> notices_;
    std::map<std::string, COLORREF> colours_;
};
