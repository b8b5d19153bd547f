#pragma once
// Move-only owners for the few kinds of handle the program holds.
#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace tarnwick::win32 {

template <typename Traits> class UniqueHandle {
  public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Empty(); }
    Type release() { return std::exchange(h_, Traits::Empty()); }
    void reset(Type h = Traits::Empty()) {
        if (h_ != Traits::Empty()) Traits::Close(h_);
        h_ = h;
    }
    Type* put() {
        reset();
        return &h_;
    }

  private:
    Type h_ = Traits::Empty();
};

// Most handles are empty when null; closeFn is the one call that frees the kind.
template <class T, auto closeFn> struct NullEmptyTraits {
    using Type = T;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { closeFn(h); }
};
// File handles are empty when INVALID_HANDLE_VALUE, which is not null.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

// Processes, threads, jobs, tokens: kernel objects that CloseHandle frees.
using UniqueKernelHandle = UniqueHandle<NullEmptyTraits<HANDLE, &::CloseHandle>>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKey = UniqueHandle<NullEmptyTraits<HKEY, &::RegCloseKey>>;
using UniqueGdiObject = UniqueHandle<NullEmptyTraits<HGDIOBJ, &::DeleteObject>>;
using UniqueMenu = UniqueHandle<NullEmptyTraits<HMENU, &::DestroyMenu>>;
using UniqueModule = UniqueHandle<NullEmptyTraits<HMODULE, &::FreeLibrary>>;
// Icons from LoadImage without LR_SHARED are the program's own; LoadIcon's are shared and have no owner.
using UniqueIcon = UniqueHandle<NullEmptyTraits<HICON, &::DestroyIcon>>;
using UniqueImageList = UniqueHandle<NullEmptyTraits<HIMAGELIST, &::ImageList_Destroy>>;
using UniqueMemoryDc = UniqueHandle<NullEmptyTraits<HDC, &::DeleteDC>>;

inline void FreeProcessHeapBlock(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}
// A block from HeapAlloc on the process heap.
using UniqueHeapBlock = UniqueHandle<NullEmptyTraits<void*, &FreeProcessHeapBlock>>;

// A window's device context, which goes back to the window it came from.
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for the length of a scope.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

} // namespace tarnwick::win32
