#include "SetupDriver.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace setup {

const wchar_t kInfoCaption[] = L"VtInst - Vantor32 Setup";
const wchar_t kUninstallTitle[] = L"Vantor32 deinstallieren";
const wchar_t kReadKeyTitle[] = L"Taste aufzeichnen";
const wchar_t kLayoutKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
const wchar_t kProductKey[] = L"Software\\Quellmark\\Vantor32";

// ------------------------------------------------------------------ registry

std::optional<RegValue> GetValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    RegValue v;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        v.data.resize(size);
        rc = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, size ? v.data.data() : nullptr,
                              &size);
        v.data.resize(size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return v;
}

bool PutValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const std::vector<BYTE>& data) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                             static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

void DeleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
}

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD len = 256;
        if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, len);
    }
    RegCloseKey(key);
    return names;
}

ValueGuard::ValueGuard(HKEY root, std::wstring path, std::wstring name)
    : root_(root), path_(std::move(path)), name_(std::move(name)) {
    keyExisted_ = KeyExists(root_, path_);
    saved_ = GetValue(root_, path_, name_);
}

ValueGuard::~ValueGuard() {
    if (saved_)
        PutValue(root_, path_, name_, saved_->type, saved_->data);
    else
        DeleteValue(root_, path_, name_);
    if (!keyExisted_) DeleteTree(root_, path_);
}

UnmanagedWindows::UnmanagedWindows() {
    PutValue(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", REG_SZ, {'N', 0, 0, 0});
}

// ------------------------------------------------------------------ the fake host

namespace {

FakeHost* gHost = nullptr;

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (gHost && (msg == WM_CLOSE || msg == WM_QUIT)) {
        gHost->received.push_back(msg);
        return 0;  // stays open: the test looks at it afterwards
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            if (gHost && (msg.hwnd == gHost->wnd() || msg.hwnd == nullptr))
                gHost->received.push_back(WM_QUIT);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

FakeHost::FakeHost() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Vantor32";
    RegisterClassW(&wc);
    wnd_ = CreateWindowExW(0, L"Vantor32", L"Vantor32", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    gHost = this;
}

FakeHost::~FakeHost() {
    gHost = nullptr;
    if (wnd_) DestroyWindow(wnd_);
    Pump();
}

bool WaitFor(const std::function<bool()>& cond, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (cond()) return true;
        if (GetTickCount() - start > ms) return cond();
        Sleep(20);
    }
}

// ------------------------------------------------------------------ windows

std::wstring ClassOf(HWND wnd) {
    wchar_t name[128] = {};
    int n = GetClassNameW(wnd, name, 128);
    return std::wstring(name, n > 0 ? n : 0);
}

HWND FindProcessWindow(DWORD pid, const wchar_t* cls, const wchar_t* title) {
    struct Search {
        DWORD pid;
        const wchar_t* cls;
        const wchar_t* title;
        HWND found;
    } s{pid, cls, title, nullptr};
    EnumWindows(
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(wnd, &owner);
            if (owner != s->pid || !IsWindowVisible(wnd)) return TRUE;
            if (s->cls && ClassOf(wnd) != s->cls) return TRUE;
            wchar_t text[256] = {};
            GetWindowTextW(wnd, text, 256);
            if (s->title && std::wstring(text) != s->title) return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitProcessWindow(DWORD pid, const wchar_t* cls, const wchar_t* title, DWORD ms) {
    // Visible: a dialog can be found as soon as it exists, before its controls do.
    HWND found = nullptr;
    WaitFor(
        [&] { return (found = FindProcessWindow(pid, cls, title)) != nullptr && IsWindowVisible(found); },
        ms);
    return found && IsWindowVisible(found) ? found : nullptr;
}

HWND FindChild(HWND parent, const wchar_t* cls, const std::wstring& text) {
    struct Search {
        const wchar_t* cls;
        const std::wstring* text;
        HWND found;
    } s{cls, &text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (_wcsicmp(ClassOf(wnd).c_str(), s->cls) != 0) return TRUE;
            if (e2e::WindowText(wnd) != *s->text) return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

RECT ClientRectOf(HWND child, HWND top) {
    RECT rc{};
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Click(HWND button) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
}

void MouseClick(HWND wnd) {
    RECT rc;
    GetWindowRect(wnd, &rc);
    int x = (rc.left + rc.right) / 2, y = (rc.top + rc.bottom) / 2;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (INPUT& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = static_cast<LONG>((x * 65535LL + cx / 2) / (cx - 1));
        i.mi.dy = static_cast<LONG>((y * 65535LL + cy / 2) / (cy - 1));
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    for (INPUT& i : in) {
        SendInput(1, &i, sizeof(INPUT));
        Sleep(20);
    }
}

std::wstring MessageBoxText(HWND box) {
    std::wstring best;
    EnumChildWindows(
        box,
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* best = reinterpret_cast<std::wstring*>(lp);
            if (_wcsicmp(ClassOf(wnd).c_str(), L"Static") != 0) return TRUE;
            std::wstring t = e2e::WindowText(wnd);
            if (t.size() > best->size()) *best = t;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&best));
    return best;
}

// ------------------------------------------------------------------ screenshots

namespace {

std::uint32_t Crc32(const std::vector<BYTE>& data, size_t from) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    std::uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < data.size(); ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void PutBE(std::vector<BYTE>& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

void Chunk(std::vector<BYTE>& png, const char* type, const std::vector<BYTE>& body) {
    PutBE(png, static_cast<std::uint32_t>(body.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    PutBE(png, Crc32(png, start));
}

// RGB rows to a PNG file; the image data is a zlib stream of stored blocks, which any
// viewer reads and which needs no compressor.
std::vector<BYTE> EncodePng(int w, int h, const std::vector<BYTE>& rgb) {
    std::vector<BYTE> raw;
    raw.reserve(static_cast<size_t>(h) * (w * 3 + 1));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgb.begin() + static_cast<size_t>(y) * w * 3,
                   rgb.begin() + static_cast<size_t>(y + 1) * w * 3);
    }
    std::vector<BYTE> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<BYTE>(n & 0xFF));
        z.push_back(static_cast<BYTE>(n >> 8));
        z.push_back(static_cast<BYTE>(~n & 0xFF));
        z.push_back(static_cast<BYTE>((~n >> 8) & 0xFF));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (BYTE c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBE(z, (b << 16) | a);

    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<BYTE> ihdr;
    PutBE(ihdr, static_cast<std::uint32_t>(w));
    PutBE(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

std::wstring ScreenshotPath(const std::wstring& name) {
    std::wstring dir = e2e::ExeDir() + L"screenshots\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + name + L".png";
}

bool SaveScreenshot(HWND wnd, const std::wstring& path) {
    // Let the window finish painting before the screen is read.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    RedrawWindow(wnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(300);
    RECT rc;
    if (!GetWindowRect(wnd, &rc)) return false;
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY | CAPTUREBLT) != 0;
        SelectObject(mem, old);
    }
    std::vector<BYTE> rgb;
    if (ok) {
        const auto* px = static_cast<const BYTE*>(bits);
        rgb.reserve(static_cast<size_t>(w) * h * 3);
        for (int i = 0; i < w * h; ++i) {
            rgb.push_back(px[4 * i + 2]);
            rgb.push_back(px[4 * i + 1]);
            rgb.push_back(px[4 * i + 0]);
        }
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (!ok) return false;
    std::vector<BYTE> png = EncodePng(w, h, rgb);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ok = WriteFile(f, png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
         written == png.size();
    CloseHandle(f);
    return ok;
}

// ------------------------------------------------------------------ a run of the tool

Run::Run(const std::wstring& args) {
    commandLine = L"\"" + e2e::ExeDir() + L"VtInst.exe\"";
    if (!args.empty()) commandLine += L" " + args;
    errFile = e2e::TempPath(L"vtinst-stderr");
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0,
                             nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        proc.handle = pi.hProcess;
        proc.pid = pi.dwProcessId;
    }
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
}

std::string Run::ErrorOutput() const {
    return e2e::ReadFileBytes(errFile);
}

namespace {

bool AnyVisibleWindow(DWORD pid) {
    struct Search {
        DWORD pid;
        bool found;
    } s{pid, false};
    EnumWindows(
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(wnd, &owner);
            if (owner == s->pid && IsWindowVisible(wnd)) s->found = true;
            return !s->found;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace

Run::~Run() {
    if (proc.handle && !WaitExit(5000)) e2e::Kill(proc);
}

bool Run::ConfirmInfo(DWORD ms) {
    HWND box = WaitProcessWindow(proc.pid, L"#32770", kInfoCaption, ms);
    if (!box) return false;
    infoText = MessageBoxText(box);
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok) return false;
    return Click(ok);
}

bool Run::WaitExit(DWORD ms) {
    if (!proc.handle) return true;
    bool ended = false;
    WaitFor(
        [&] {
            sawWindow = sawWindow || AnyVisibleWindow(proc.pid);
            ended = WaitForSingleObject(proc.handle, 0) == WAIT_OBJECT_0;
            return ended;
        },
        ms);
    if (!ended) return false;
    GetExitCodeProcess(proc.handle, &exitCode);
    CloseHandle(proc.handle);
    proc.handle = nullptr;
    return true;
}

// ------------------------------------------------------------------ keys

void SendKey(WORD vk, bool up, bool extended) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) & 0xFF);
    in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &in, sizeof(in));
    Sleep(20);
}

}  // namespace setup
