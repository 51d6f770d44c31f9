#include "E2E.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace e2e {

std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

std::wstring TempPath(const std::wstring& name) {
    static int counter = 0;
    std::wstring dir = ExeDir() + L"e2e-out\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring path = dir + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++counter) + L".txt";
    DeleteFileW(path.c_str());
    return path;
}

std::wstring HostExe() {
    return L"\"" + ExeDir() + L"Vantor32.exe\"";
}

Process Start(const std::wstring& commandLine) {
    Process p;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        p.handle = pi.hProcess;
        p.pid = pi.dwProcessId;
    }
    return p;
}

bool WaitExit(Process& p, DWORD ms, DWORD* exitCode) {
    if (!p.handle) return true;
    if (WaitForSingleObject(p.handle, ms) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(p.handle, &code);
    if (exitCode) *exitCode = code;
    CloseHandle(p.handle);
    p.handle = nullptr;
    return true;
}

void Kill(Process& p) {
    if (!p.handle) return;
    TerminateProcess(p.handle, 1);
    WaitForSingleObject(p.handle, 5000);
    CloseHandle(p.handle);
    p.handle = nullptr;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (GetTickCount() - start > ms) return cond();
        // Keep this thread's own windows (if any) responsive while waiting.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

HWND WaitWindow(const wchar_t* cls, const wchar_t* title, DWORD ms) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowW(cls, title)) != nullptr; }, ms);
    return found;
}

std::string ReadFileBytes(const std::wstring& path) {
    // Shared read: the writer keeps the file open.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string data;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) data.append(buf, got);
    CloseHandle(h);
    return data;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool FileHasLine(const std::wstring& path, const std::string& line) {
    for (const auto& l : ReadLines(path))
        if (l == line) return true;
    return false;
}

std::string Utf8(const std::wstring& s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

void RegDeleteTreeCU(const std::wstring& path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

void RegSetByte(const std::wstring& path, const std::wstring& name, BYTE value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name.c_str(), 0, REG_BINARY, &value, 1);
        RegCloseKey(key);
    }
}

void RegSetText(const std::wstring& path, const std::wstring& name, const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

void RegSetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
}

bool RegGetByte(const std::wstring& path, const std::wstring& name, BYTE* value) {
    DWORD size = 1;
    return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_BINARY, nullptr,
                        value, &size) == ERROR_SUCCESS;
}

void ConfigureSwitches(std::initializer_list<std::pair<const wchar_t*, BYTE>> switches) {
    RegDeleteTreeCU(kVantorKey);
    for (auto [name, value] : switches) RegSetByte(kVantorSettings, name, value);
}

bool RegGetText(const std::wstring& path, const std::wstring& name, std::wstring* value) {
    wchar_t buf[1024];
    DWORD size = sizeof(buf);
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf,
                     &size) != ERROR_SUCCESS)
        return false;
    *value = buf;
    return true;
}

void RegDeleteValueCU(const std::wstring& path, const std::wstring& name) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str());
}

namespace {
void SendKey(WORD vk, bool extended, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &in, sizeof(in));
    Sleep(15);
}
}  // namespace

void KeyDown(WORD vk, bool extended) {
    SendKey(vk, extended, false);
}
void KeyUp(WORD vk, bool extended) {
    SendKey(vk, extended, true);
}
void Tap(WORD vk, bool extended) {
    KeyDown(vk, extended);
    KeyUp(vk, extended);
}

void SetLock(WORD vk, bool on) {
    // The toggle state is desktop-wide under Wine but a process reads it only after a
    // key changed; GetAsyncKeyState's low bit is not reliable either, so ask the
    // keyboard state after a harmless no-op of our own.
    BYTE state[256];
    GetKeyboardState(state);
    if (((state[vk] & 1) != 0) != on) Tap(vk);
}

void Chord(WORD modifier, WORD vk) {
    KeyDown(modifier);
    Tap(vk);
    KeyUp(modifier);
}

void TypeKeys(const std::wstring& text) {
    for (wchar_t ch : text) {
        const SHORT r = VkKeyScanW(ch);
        const bool shift = (r >> 8) & 1;
        if (shift) KeyDown(VK_SHIFT);
        Tap(static_cast<WORD>(r & 0xFF));
        if (shift) KeyUp(VK_SHIFT);
    }
}

bool ReadyForKeys(HWND top, HWND focus) {
    SetForegroundWindow(top);
    const bool ready = WaitUntil(
        [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            if (GetForegroundWindow() != top ||
                !GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info) || !info.hwndFocus)
                return false;
            return focus ? info.hwndFocus == focus
                         : info.hwndFocus == top || IsChild(top, info.hwndFocus) != FALSE;
        },
        10000);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(150);
    return ready;
}

std::wstring WindowText(HWND wnd) {
    LRESULT len = SendMessageW(wnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring s(static_cast<size_t>(len) + 1, L'\0');
    LRESULT got = SendMessageW(wnd, WM_GETTEXT, static_cast<WPARAM>(len + 1),
                               reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(got));
    return s;
}

// ------------------------------------------------------------------ Scene
namespace {
bool Fail(const char* why) {
    std::fprintf(stderr, "scene: %s\n", why);
    return false;
}
}  // namespace

bool Scene::Up(bool withHost) {
    viewerLog = TempPath(L"viewer");
    hostLog = TempPath(L"host");
    std::wstring dir = ExeDir();
    viewer = Start(L"\"" + dir + L"vtview.exe\" --quiet --out \"" + viewerLog + L"\"");
    if (!WaitWindow(L"TDebugWindowDisplay", L"DebugWindow (Unicode)", 20000))
        return Fail("the viewer window did not appear");
    if (withHost) {
        host = Start(HostExe() + (hostTray ? L"" : L" --no-tray") + L" --log \"" + hostLog + L"\"");
        if (!WaitWindow(L"Vantor32", L"Vantor32", 20000)) {
            std::fprintf(stderr, "host log:\n%s\n", ReadFileBytes(hostLog).c_str());
            return Fail("the host window did not appear");
        }
        // The host says READY once the library is loaded and its hook installed.
        if (!WaitUntil([&] { return ReadFileBytes(hostLog).find("READY") != std::string::npos; },
                       20000))
            return Fail("the host did not report READY");
    }
    target = Start(L"\"" + dir + targetExe + L"\"");
    targetWnd = WaitWindow(L"VtTargetWnd", L"VtTarget", 20000);
    if (!targetWnd) return Fail("the target window did not appear");
    // The main window shows before its edit control exists.
    WaitUntil(
        [&] {
            return (targetEdit = FindWindowExW(targetWnd, nullptr, L"EDIT", nullptr)) != nullptr;
        },
        10000);
    if (!targetEdit) return Fail("the target has no edit control");
    Focus();
    return true;
}

void Scene::Focus() {
    if (!targetWnd) return;
    // The target sets its own focus on request: focus belongs to its thread.
    SendMessageW(targetWnd, WM_APP + 1, 0, 0);
    SetForegroundWindow(targetWnd);
    Sleep(50);
}

BYTE Scene::TargetModifiers() {
    BYTE state = 0;
    if (TargetKeyState(VK_SHIFT) < 0) state |= 0x01;
    if (TargetKeyState(VK_CONTROL) < 0) state |= 0x02;
    if (TargetKeyState(VK_MENU) < 0) state |= 0x04;
    if (TargetKeyState(VK_RMENU) < 0) state |= 0x08;
    return state;
}

int Scene::TargetPresses(WORD vk) {
    DWORD_PTR r = 0;
    SendMessageTimeoutW(targetWnd, WM_APP + 4, vk, 0, SMTO_ABORTIFHUNG, 5000, &r);
    return static_cast<int>(r);
}

namespace {
// The events the target waits on while paused; kept for the program's life.
HANDLE BusyEvent() {
    static HANDLE h = CreateEventW(nullptr, FALSE, FALSE, L"VtTargetBusy");
    return h;
}
HANDLE GoEvent() {
    static HANDLE h = CreateEventW(nullptr, TRUE, FALSE, L"VtTargetGo");
    return h;
}
}  // namespace

bool Scene::Pause() {
    ResetEvent(GoEvent());
    ResetEvent(BusyEvent());
    PostMessageW(targetWnd, WM_APP + 3, 0, 0);
    return WaitForSingleObject(BusyEvent(), 10000) == WAIT_OBJECT_0;
}

void Scene::Resume() {
    SetEvent(GoEvent());
}

void Scene::Down() {
    HWND hostWnd = FindWindowW(L"Vantor32", L"Vantor32");
    if (host.handle && hostWnd) PostMessageW(hostWnd, WM_CLOSE, 0, 0);
    if (host.handle && !WaitExit(host, 10000)) Kill(host);
    if (target.handle) {
        if (targetWnd) PostMessageW(targetWnd, WM_CLOSE, 0, 0);
        if (!WaitExit(target, 5000)) Kill(target);
    }
    if (viewer.handle) {
        HWND v = FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)");
        if (v) PostMessageW(v, WM_CLOSE, 0, 0);
        if (!WaitExit(viewer, 5000)) Kill(viewer);
    }
    targetWnd = targetEdit = nullptr;
}

SHORT Scene::TargetKeyState(WORD vk) {
    DWORD_PTR result = 0;
    if (!targetWnd ||
        !SendMessageTimeoutW(targetWnd, WM_APP + 2, vk, 0, SMTO_ABORTIFHUNG, 5000, &result))
        return 0;
    return static_cast<SHORT>(result);
}

bool Scene::SetTargetLock(WORD vk, bool on) {
    // Under Wine a program takes the desktop's toggle of a lock only once a key changed
    // it (until then it reads off): a first tap and its release, read by the target,
    // bring the two together; a second tap then sets the state asked for.
    char key[16];
    std::snprintf(key, sizeof key, "VK:%04X", vk);
    auto releases = [&] {
        int n = 0;
        for (const auto& l : ReadLines(viewerLog))
            n += l.find(key) != std::string::npos && l.find("\tUP\t") != std::string::npos;
        return n;
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int before = releases();
        Tap(vk, vk == VK_NUMLOCK);
        if (!WaitUntil([&] { return releases() > before; }, 10000)) return false;
        if (TargetLockOn(vk) == on) return true;
    }
    return TargetLockOn(vk) == on;
}

std::wstring Scene::Text() {
    return targetEdit ? WindowText(targetEdit) : std::wstring();
}

void Scene::ClearText() {
    if (targetEdit) SendMessageW(targetEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
}

bool Scene::WaitViewerLine(const std::string& line, DWORD ms) {
    return WaitUntil([&] { return FileHasLine(viewerLog, line); }, ms);
}

bool Scene::WaitViewerContains(const std::string& part, DWORD ms) {
    return WaitUntil([&] { return ReadFileBytes(viewerLog).find(part) != std::string::npos; }, ms);
}

void Scene::Settle(DWORD ms) {
    // The target answers only from its message loop, so once it says no key waits in its
    // queue, a converted key's text has been injected and read: an unchanged text alone
    // is no proof on a busy machine, where injecting a text can outlast the pause.
    std::wstring last = Text();
    WaitUntil(
        [&] {
            Sleep(150);
            DWORD_PTR keysQueued = 1;
            SendMessageTimeoutW(targetWnd, WM_APP + 5, 0, 0, SMTO_ABORTIFHUNG, 5000, &keysQueued);
            std::wstring now = Text();
            bool same = now == last && keysQueued == 0;
            last = now;
            return same;
        },
        ms);
}

bool Scene::WaitText(const std::wstring& text, DWORD ms) {
    return WaitUntil([&] { return Text() == text; }, ms);
}

}  // namespace e2e
