// Small owners for Windows handles, so that every exit path closes them.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

// A kernel handle closed with CloseHandle. Both NULL and INVALID_HANDLE_VALUE
// count as no handle (CreateFile and CreateThread disagree on which to use).
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }

    HANDLE release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr) {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = h;
    }

private:
    HANDLE handle_ = nullptr;
};

// Holds a slim reader/writer lock exclusively for its scope.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

// A GDI object deleted with DeleteObject.
template <typename T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T object) : object_(object) {}
    ~GdiObject() {
        if (object_) {
            DeleteObject(object_);
        }
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void reset(T object = nullptr) {
        if (object_) {
            DeleteObject(object_);
        }
        object_ = object;
    }

private:
    T object_ = nullptr;
};

// Selects an object into a device context for its scope and selects the
// previous one back at the end. A null object selects nothing.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// What CreateProcess fills in; both of its handles are closed at the end.
class ProcessInformation {
public:
    ProcessInformation() = default;
    ~ProcessInformation() {
        UniqueHandle thread(info_.hThread);
        UniqueHandle process(info_.hProcess);
    }
    ProcessInformation(const ProcessInformation&) = delete;
    ProcessInformation& operator=(const ProcessInformation&) = delete;

    PROCESS_INFORMATION* out() { return &info_; }
    HANDLE process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_ = {};
};

// A registry key closed with RegCloseKey.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

// A directory search handle closed with FindClose.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : handle_(h) {}
    ~FindHandle() {
        if (valid()) {
            FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// A COM interface pointer released at the end of its scope.
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
    explicit operator bool() const { return pointer_ != nullptr; }
    // For calls that hand out a reference (QueryInterface, IID_PPV_ARGS).
    void** out() { return reinterpret_cast<void**>(&pointer_); }
    T** address() { return &pointer_; }

private:
    T* pointer_ = nullptr;
};

// The COM library for the calling thread, from CoInitialize to
// CoUninitialize. COM's task allocator needs no owner of its own: its
// blocks go through CoTaskMemAlloc and CoTaskMemFree.
class ComLibrary {
public:
    ComLibrary() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComLibrary() {
        if (initialised_) {
            CoUninitialize();
        }
    }
    ComLibrary(const ComLibrary&) = delete;
    ComLibrary& operator=(const ComLibrary&) = delete;

    bool initialised() const { return initialised_; }

private:
    bool initialised_;
};

// A window's paint cycle: BeginPaint at the start, EndPaint at the end of
// the scope. dc() is null when painting could not begin.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() {
        if (dc_ != nullptr) {
            EndPaint(window_, &paint_);
        }
    }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// Everything set in a device context for the scope (colours, modes,
// selected objects) is put back at its end (SaveDC / RestoreDC).
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDcState() {
        if (saved_ != 0) {
            RestoreDC(dc_, saved_);
        }
    }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC dc_;
    int saved_;
};

// A menu destroyed with DestroyMenu.
class UniqueMenu {
public:
    explicit UniqueMenu(HMENU menu) : menu_(menu) {}
    ~UniqueMenu() {
        if (menu_ != nullptr) {
            DestroyMenu(menu_);
        }
    }
    UniqueMenu(const UniqueMenu&) = delete;
    UniqueMenu& operator=(const UniqueMenu&) = delete;

    HMENU get() const { return menu_; }
    explicit operator bool() const { return menu_ != nullptr; }

private:
    HMENU menu_;
};

// A window destroyed with DestroyWindow (unless it is gone already).
class UniqueWindow {
public:
    UniqueWindow() = default;
    explicit UniqueWindow(HWND window) : window_(window) {}
    ~UniqueWindow() { reset(); }
    UniqueWindow(const UniqueWindow&) = delete;
    UniqueWindow& operator=(const UniqueWindow&) = delete;

    HWND get() const { return window_; }
    explicit operator bool() const { return window_ != nullptr; }
    HWND release() {
        HWND window = window_;
        window_ = nullptr;
        return window;
    }
    void reset(HWND window = nullptr) {
        if (window_ != nullptr && IsWindow(window_)) {
            DestroyWindow(window_);
        }
        window_ = window;
    }

private:
    HWND window_ = nullptr;
};

// An icon loaded without LR_SHARED, or made, destroyed with DestroyIcon.
class IconOwner {
public:
    IconOwner() = default;
    explicit IconOwner(HICON icon) : icon_(icon) {}
    ~IconOwner() { reset(); }
    IconOwner(const IconOwner&) = delete;
    IconOwner& operator=(const IconOwner&) = delete;

    HICON get() const { return icon_; }
    explicit operator bool() const { return icon_ != nullptr; }
    HICON* out() { return &icon_; }
    HICON release() {
        HICON icon = icon_;
        icon_ = nullptr;
        return icon;
    }
    void reset(HICON icon = nullptr) {
        if (icon_ != nullptr) {
            DestroyIcon(icon_);
        }
        icon_ = icon;
    }

private:
    HICON icon_ = nullptr;
};

// A memory device context made with CreateCompatibleDC, deleted with DeleteDC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) {
            DeleteDC(dc_);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// An image list destroyed with ImageList_Destroy, until a control that
// destroys it itself takes it over (release).
class ImageListOwner {
public:
    explicit ImageListOwner(HIMAGELIST images) : images_(images) {}
    ~ImageListOwner() {
        if (images_ != nullptr) {
            ImageList_Destroy(images_);
        }
    }
    ImageListOwner(const ImageListOwner&) = delete;
    ImageListOwner& operator=(const ImageListOwner&) = delete;

    HIMAGELIST get() const { return images_; }
    HIMAGELIST release() {
        HIMAGELIST images = images_;
        images_ = nullptr;
        return images;
    }

private:
    HIMAGELIST images_;
};

// Memory of the COM task allocator (item id lists, the shell's path buffer),
// freed at the end of its scope.
template <typename T>
class TaskMemory {
public:
    explicit TaskMemory(T* pointer = nullptr) : pointer_(pointer) {}
    ~TaskMemory() { CoTaskMemFree(pointer_); }
    TaskMemory(const TaskMemory&) = delete;
    TaskMemory& operator=(const TaskMemory&) = delete;

    T* get() const { return pointer_; }
    T** out() { return &pointer_; }

private:
    T* pointer_ = nullptr;
};

// Memory the system allocated for the caller with LocalAlloc (the texts of
// FormatMessage), freed with LocalFree.
template <typename T>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (pointer_ != nullptr) {
            LocalFree(pointer_);
        }
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;

    T* get() const { return pointer_; }
    T** out() { return &pointer_; }

private:
    T* pointer_ = nullptr;
};
