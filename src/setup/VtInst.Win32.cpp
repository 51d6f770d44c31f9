// The setup tool's Windows entry: the process's command line and the forms.
#include <windows.h>

#include <commctrl.h>
#include <sddl.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <memory>

#include "VtConfig.ReadKey.h"
#include "VtConfig.UnInstU.h"
#include "VtInst.h"
#include "platform/win32/Win32Platform.h"

namespace {

std::u16string U16(const wchar_t* s) {
    std::u16string out;
    if (s)
        for (; *s; ++s) out.push_back(static_cast<char16_t>(*s));
    return out;
}

std::u16string ModuleFileName() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return u"";
        if (n < buf.size()) {
            buf.resize(n);
            return U16(buf.c_str());
        }
        if (buf.size() >= 32768) return U16(buf.c_str());
        buf.resize(buf.size() * 2);
    }
}

std::vector<std::u16string> Arguments(const wchar_t* commandLine) {
    std::vector<std::u16string> args;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine, &argc);
    if (!argv) return args;
    for (int i = 1; i < argc; ++i) args.push_back(U16(argv[i]));
    LocalFree(argv);
    return args;
}

std::u16string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return u"";
    std::u16string out = U16(text);
    LocalFree(text);
    return out;
}

// The account of the process token: the one who started the tool, or the one whose
// credentials elevated it.
std::u16string TokenUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return u"";
    std::vector<BYTE> buf(256);
    DWORD needed = 0;
    BOOL ok =
        GetTokenInformation(token, TokenUser, buf.data(), static_cast<DWORD>(buf.size()), &needed);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buf.resize(needed);
        ok = GetTokenInformation(token, TokenUser, buf.data(), static_cast<DWORD>(buf.size()),
                                 &needed);
    }
    CloseHandle(token);
    if (!ok) return u"";
    return SidText(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid);
}

std::wstring SessionText(DWORD session, WTS_INFO_CLASS what) {
    LPWSTR text = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &bytes) ||
        !text)
        return L"";
    std::wstring out = text;
    WTSFreeMemory(text);
    return out;
}

std::u16string AccountSid(const std::wstring& account) {
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) return u"";
    std::vector<BYTE> sid(sidSize);
    std::wstring domain(domainSize + 1, L'\0');
    if (!LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sidSize, domain.data(),
                            &domainSize, &use))
        return u"";
    return SidText(sid.data());
}

// The person logged on to this session; a program of session 0 (a job run as SYSTEM)
// has none, and the person at the console stands in.
std::u16string SessionUserSid() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = WTS_CURRENT_SESSION;
    std::wstring user = SessionText(session, WTSUserName);
    if (user.empty()) {
        session = WTSGetActiveConsoleSessionId();
        if (session == 0xFFFFFFFF) return u"";
        user = SessionText(session, WTSUserName);
    }
    if (user.empty()) return u"";
    const std::wstring domain = SessionText(session, WTSDomainName);
    std::u16string sid = domain.empty() ? u"" : AccountSid(domain + L"\\" + user);
    return sid.empty() ? AccountSid(user) : sid;
}

std::u16string AccountName(const std::u16string& sidText) {
    const std::wstring w(sidText.begin(), sidText.end());
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(w.c_str(), &sid)) return u"";
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameLen = 256, domainLen = 256;
    SID_NAME_USE use;
    std::u16string out;
    if (LookupAccountSidW(nullptr, sid, name, &nameLen, domain, &domainLen, &use))
        out = domain[0] ? U16(domain) + u"\\" + U16(name) : U16(name);
    LocalFree(sid);
    return out;
}

// One line on the error output when it leads somewhere (a script's redirection, a
// console that started the tool).
void WriteErrorLine(const std::u16string& text) {
    std::wstring line(text.begin(), text.end());
    line += L"\r\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), n,
                            nullptr, nullptr);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN &&
        WriteFile(err, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr))
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE con = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (con != INVALID_HANDLE_VALUE) {
            WriteConsoleW(con, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(con);
        }
        FreeConsole();
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vt::SetPlatform(&vt::Win32PlatformInstance());
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    const wchar_t* commandLine = GetCommandLineW();
    std::unique_ptr<vt::TFrmReadKey> mainForm;
    vt::RSetupShell shell;
    shell.isAdministrator = vt::IsAdministrator;
    shell.askUninstallOptions = [] { return vt::AskUninstallOptions(vt::ProfileUserName); };
    shell.userHint = [] { return vt::RUserHint{TokenUserSid(), SessionUserSid()}; };
    shell.accountName = AccountName;
    shell.errorLine = WriteErrorLine;
    shell.createMainForm = [&] { mainForm = std::make_unique<vt::TFrmReadKey>(); };
    shell.releaseMainForm = [&] { mainForm.reset(); };
    return vt::VtInstMain(ModuleFileName(), U16(commandLine), Arguments(commandLine), shell);
}
