// The setup tool's Windows entry: the process's command line, the administrator check
// on the access token, and the forms.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

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

// Whether the built-in Administrators group is among the token's groups. The group
// list is read whatever its size: a domain account easily has more than 1 KB of them.
bool IsAdministrator() {
    if (vt::Plat().GetVersionExW_PlatformId() < VER_PLATFORM_WIN32_NT) return true;
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        if (GetLastError() != ERROR_NO_TOKEN) return false;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    }
    std::vector<BYTE> groups;
    DWORD size = 1024;
    bool read = false;
    for (int attempt = 0; attempt < 8 && !read; ++attempt) {
        groups.assign(size, 0);
        DWORD needed = 0;
        if (GetTokenInformation(token, TokenGroups, groups.data(), size, &needed)) {
            read = true;
        } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > size) {
            size = needed;
        } else {
            break;
        }
    }
    CloseHandle(token);
    if (!read) return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins))
        return false;
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
    bool found = false;
    for (DWORD i = 0; i < list->GroupCount && !found; ++i)
        found = EqualSid(list->Groups[i].Sid, admins) != FALSE;
    FreeSid(admins);
    return found;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vt::SetPlatform(&vt::Win32PlatformInstance());
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    const wchar_t* commandLine = GetCommandLineW();
    std::unique_ptr<vt::TFrmReadKey> mainForm;
    vt::RSetupShell shell;
    shell.isAdministrator = IsAdministrator;
    shell.askUninstallOptions = vt::AskUninstallOptions;
    shell.createMainForm = [&] { mainForm = std::make_unique<vt::TFrmReadKey>(); };
    shell.releaseMainForm = [&] { mainForm.reset(); };
    return vt::VtInstMain(ModuleFileName(), U16(commandLine), Arguments(commandLine), shell);
}
