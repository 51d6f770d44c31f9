// The PlaySound export under Wine: found by name and by ordinal, one function, and it
// answers true whatever is configured (Wine may have no audio device: the call is checked,
// not the sound).
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

using PlaySoundFn = BOOL(WINAPI*)(BYTE);
using InstallFn = HHOOK(WINAPI*)(BOOL);

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";

void WriteWav(const std::wstring& path) {
    // 0.05 s of silence, 8 kHz mono 8-bit
    const DWORD samples = 400;
    std::string d;
    auto u32 = [&](DWORD v) { d.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](WORD v) { d.append(reinterpret_cast<const char*>(&v), 2); };
    d += "RIFF";
    u32(36 + samples);
    d += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    d += "data";
    u32(samples);
    d.append(samples, static_cast<char>(0x80));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, d.data(), static_cast<DWORD>(d.size()), &written, nullptr);
    CloseHandle(h);
}

}  // namespace

TEST_CASE("PlaySound is exported by name and at ordinal 13, Install at ordinal 10") {
    HMODULE lib = LoadLibraryW((ExeDir() + L"Vt32Util.dll").c_str());
    REQUIRE(lib != nullptr);
    auto address = [&](LPCSTR name) {
        return reinterpret_cast<const void*>(GetProcAddress(lib, name));
    };
    CHECK(address("PlaySound") != nullptr);
    CHECK(address("PlaySound") == address(MAKEINTRESOURCEA(13)));
    CHECK(address("Install") != nullptr);
    CHECK(address("Install") == address(MAKEINTRESOURCEA(10)));
    for (int ordinal : {2, 3, 4, 5, 6, 7, 8, 9, 11, 12})
        CHECK(address(MAKEINTRESOURCEA(ordinal)) == nullptr);
    FreeLibrary(lib);
}

TEST_CASE(
    "PlaySound answers true with nothing configured, with a scheme file and in speaker mode") {
    RegDeleteTreeCU(kProduct);
    RegDeleteTreeCU(L"AppEvents\\Schemes\\Apps\\Vantor32");
    HMODULE lib = LoadLibraryW((ExeDir() + L"Vt32Util.dll").c_str());
    REQUIRE(lib != nullptr);
    auto play = reinterpret_cast<PlaySoundFn>(GetProcAddress(lib, "PlaySound"));
    REQUIRE(reinterpret_cast<const void*>(play) != nullptr);

    DWORD start = GetTickCount();
    for (BYTE e = 0; e <= 9; ++e) CHECK(play(e) == TRUE);
    CHECK(GetTickCount() - start < 3000);  // nothing to play: no waiting

    std::wstring wav = TempPath(L"tone") + L".wav";
    WriteWav(wav);
    RegSetText(L"AppEvents\\Schemes\\Apps\\Vantor32\\Ein\\.current", L"", wav);
    CHECK(play(1) == TRUE);

    // A value of the wrong type is contained inside the export.
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"AppEvents\\Schemes\\Apps\\Vantor32\\Aus\\.current", 0,
                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    DWORD number = 7;
    RegSetValueExW(key, L"", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
    RegCloseKey(key);
    CHECK(play(2) == TRUE);

    RegSetByte(kProduct + L"\\Settings", L"Speaker benutzen", 1);
    RegSetText(kProduct + L"\\Settings\\Speaker", L"Ein", L"800,20,2,10");
    CHECK(play(1) == TRUE);
    // 18 Hz and below is silence for the duration: two 30 ms tones and a 10 ms pause, waited
    // out on the calling thread.
    RegSetText(kProduct + L"\\Settings\\Speaker", L"Aus", L"18,30,2,10");
    start = GetTickCount();
    CHECK(play(2) == TRUE);
    CHECK(GetTickCount() - start >= 60);

    RegDeleteTreeCU(kProduct);
    RegDeleteTreeCU(L"AppEvents\\Schemes\\Apps\\Vantor32");
    FreeLibrary(lib);
}
