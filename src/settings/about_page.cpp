// The about page (template 1053): the product's names and addresses, three
// of them links.
#include "settings/settings_pages.h"

#include "base/win_handles.h"
#include "resources/resource.h"
#include "ui/button.h"

namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 255);

// Dialog-unit rectangles over the blue texts, and what they open.
struct LinkPlace {
    RECT area;
    const char* address;
};
const LinkPlace kLinks[] = {
    {{67, 37, 200, 45}, "http://www.lumetra.example/"},
    {{140, 60, 210, 68}, "http://korvel.example/"},
    {{20, 115, 156, 123}, "http://www.brastel.example/"},
};
constexpr int kLinkCount = sizeof kLinks / sizeof kLinks[0];

// What the page keeps on itself (DWLP_USER): the link windows over the blue
// texts.
struct AboutPage {
    UniqueWindow links[kLinkCount];
};

BOOL onInitDialog(HWND page) {
    AboutPage* state = createPageState<AboutPage>(page);
    if (state == nullptr) {
        return FALSE;
    }
    for (int i = 0; i < kLinkCount; i++) {
        RECT area = kLinks[i].area;
        MapDialogRect(page, &area);
        state->links[i].reset(createLinkButton(page, area, kLinks[i].address));
    }
    setPageStatus(page, "");
    return TRUE;
}

INT_PTR onStaticColour(HDC dc, HWND text) {
    int id = GetDlgCtrlID(text);
    if (id != IDC_ABOUT_SERVICE && id != IDC_ABOUT_AGENT_PAGE && id != IDC_ABOUT_MAKER) {
        return FALSE;
    }
    SetTextColor(dc, kLinkColour);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

void onDestroy(AboutPage& state) {
    for (UniqueWindow& link : state.links) {
        link.reset();
    }
}

} // namespace

INT_PTR CALLBACK aboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return onInitDialog(page);
    }
    AboutPage* state = pageState<AboutPage>(page);
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_CTLCOLORSTATIC:
        return onStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            closeSettingsFromPage(page);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        onDestroy(*state);
        return FALSE;
    case WM_NCDESTROY:
        freePageState<AboutPage>(page);
        return FALSE;
    default:
        return FALSE;
    }
}
