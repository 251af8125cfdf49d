#include "base/shell_link.h"

#include <shlobj.h>

namespace {

// Releases a COM interface at the end of its scope.
template <typename T>
class ComReference {
public:
    ComReference() = default;
    ~ComReference() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

private:
    T* pointer_ = nullptr;
};

} // namespace

bool createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder, const char* arguments,
                    WORD hotKey, int showCommand, const char* iconFile, int iconIndex) {
    ComReference<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out()))) {
        return false;
    }
    if (FAILED(link->SetPath(target)) || FAILED(link->SetArguments(arguments)) ||
        FAILED(link->SetWorkingDirectory(workingFolder)) || FAILED(link->SetIconLocation(iconFile, iconIndex)) ||
        FAILED(link->SetHotkey(hotKey)) || FAILED(link->SetShowCmd(showCommand))) {
        return false;
    }
    ComReference<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) {
        return false;
    }
    return SUCCEEDED(file->Save(linkPath, TRUE));
}
