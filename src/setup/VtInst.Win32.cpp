// The setup tool's Windows entry: the process's command line and the forms.
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vt::SetPlatform(&vt::Win32PlatformInstance());
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    const wchar_t* commandLine = GetCommandLineW();
    std::unique_ptr<vt::TFrmReadKey> mainForm;
    vt::RSetupShell shell;
    shell.isAdministrator = vt::IsAdministrator;
    shell.askUninstallOptions = vt::AskUninstallOptions;
    shell.createMainForm = [&] { mainForm = std::make_unique<vt::TFrmReadKey>(); };
    shell.releaseMainForm = [&] { mainForm.reset(); };
    return vt::VtInstMain(ModuleFileName(), U16(commandLine), Arguments(commandLine), shell);
}
