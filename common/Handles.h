// Owned Win32 handles. Depends on windows.h only, so the service includes it as well as the GUI.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace corvel {

// The last error of a call that failed: never 0, so a failure is never reported as success.
inline DWORD LastErrorOr1359() {
    const DWORD e = ::GetLastError();
    return e != 0 ? e : ERROR_INTERNAL_ERROR;
}

// Traits: Type, Invalid(), Close(h).
template <class Traits> class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type h) noexcept : m_h(h) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : m_h(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    explicit operator bool() const noexcept { return m_h != Traits::Invalid(); }
    Type get() const noexcept { return m_h; }

    void reset(Type h = Traits::Invalid()) noexcept {
        const Type old = m_h;
        m_h = h;
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

    [[nodiscard]] Type release() noexcept {
        const Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

    // For out-parameters: closes what it holds first, so a reused wrapper never leaks.
    Type* put() noexcept {
        reset();
        return &m_h;
    }

    void swap(UniqueResource& other) noexcept { std::swap(m_h, other.m_h); }

private:
    Type m_h = Traits::Invalid();
};

// Events, threads, mutexes, semaphores, processes, tokens: invalid is NULL.
struct NullHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// Files and pipes from CreateFile/CreateNamedPipe: invalid is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

template <class Traits = NullHandleTraits> using UniqueHandle = UniqueResource<Traits>;
using UniqueEvent = UniqueHandle<NullHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};
using UniqueFind = UniqueResource<FindHandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// Service manager and service handles (advapi32).
struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;

// CryptoAPI contexts, keys and hashes (advapi32).
struct CryptProvTraits {
    using Type = HCRYPTPROV;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::CryptReleaseContext(h, 0); }
};
using UniqueCryptProv = UniqueResource<CryptProvTraits>;
struct CryptKeyTraits {
    using Type = HCRYPTKEY;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::CryptDestroyKey(h); }
};
using UniqueCryptKey = UniqueResource<CryptKeyTraits>;
struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::CryptDestroyHash(h); }
};
using UniqueCryptHash = UniqueResource<CryptHashTraits>;

// Memory from GlobalAlloc: freed unless handed on (the clipboard owns it once SetClipboardData
// has taken it; release it then).
struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::GlobalFree(h); }
};
using UniqueGlobalMemory = UniqueResource<GlobalMemoryTraits>;

// Menus from CreatePopupMenu/LoadMenu.
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

// A menu from GetSubMenu/GetMenu/GetSystemMenu: its owner destroys it. A type of its own, with
// no conversion to HMENU, so that it never lands in a UniqueMenu by mistake.
class BorrowedMenu {
public:
    BorrowedMenu() noexcept = default;
    explicit BorrowedMenu(HMENU menu) noexcept : m_menu(menu) {}
    HMENU get() const noexcept { return m_menu; }
    explicit operator bool() const noexcept { return m_menu != nullptr; }

private:
    HMENU m_menu = nullptr;
};

// Icons from CreateIcon/LoadImage without LR_SHARED. Shared icons are not owned.
struct IconTraits {
    using Type = HICON;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyIcon(h); }
};
using UniqueIcon = UniqueResource<IconTraits>;

template <class T> struct GdiTraits {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};
using UniqueFont = UniqueResource<GdiTraits<HFONT>>;
using UniqueBrush = UniqueResource<GdiTraits<HBRUSH>>;
using UniquePen = UniqueResource<GdiTraits<HPEN>>;
using UniqueBitmap = UniqueResource<GdiTraits<HBITMAP>>;
using UniqueRegion = UniqueResource<GdiTraits<HRGN>>;

// A hook from SetWindowsHookExW.
struct HookTraits {
    using Type = HHOOK;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueResource<HookTraits>;

// A memory DC from CreateCompatibleDC.
struct DcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteDC(h); }
};
using UniqueDc = UniqueResource<DcTraits>;

// A DC from GetDC, given back to its window.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (m_dc)
            ::ReleaseDC(m_hwnd, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    explicit operator bool() const noexcept { return m_dc != nullptr; }
    HDC get() const noexcept { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// Selects a GDI object into a DC and puts the previous one back.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~SelectObjectScope() {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// Runs a callable when the scope ends, unless dismissed.
template <class F> class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept : m_f(std::move(f)) {}
    ~ScopeExit() {
        if (m_active)
            m_f();
    }
    ScopeExit(ScopeExit&& other) noexcept : m_f(std::move(other.m_f)), m_active(other.m_active) {
        other.m_active = false;
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ScopeExit& operator=(ScopeExit&&) = delete;
    void Dismiss() noexcept { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};

template <class F> ScopeExit<F> MakeScopeExit(F f) noexcept {
    return ScopeExit<F>(std::move(f));
}

} // namespace corvel
