// marker_prog: a program that macros start in the end-to-end tests. It writes its command
// line into the file named by the variable VT_MARKER_FILE and ends.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int) {
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"VT_MARKER_FILE", path, MAX_PATH)) return 1;
    FILE* f = _wfopen(path, L"ab");
    if (!f) return 1;
    int n = WideCharToMultiByte(CP_UTF8, 0, cmdLine, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, cmdLine, -1, &s[0], n, nullptr, nullptr);
    std::fprintf(f, "started [%s]\n", s.c_str());
    std::fclose(f);
    return 0;
}
