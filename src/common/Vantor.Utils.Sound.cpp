#include "DebugWindowInterface.h"
#include "PCSpk.h"
#include "Vantor.Utils.h"
#include "VtError.h"

namespace vt {

const std::array<std::u16string, 9> SoundEventNames = {
    u"",          u"Ein",    u"Aus",     u"Großschrift", u"Rollen", u"Zehnerblock",
    u"NUM Punkt", u"Umlaut", u"EasyTab",
};

namespace {

const std::u16string kSchemeRoot = u"AppEvents\\Schemes\\Apps\\Vantor32\\";

// A decimal field; anything else (empty, letters, out of range) reads as 0. Blanks
// around the number are allowed.
std::int32_t FieldValue(const std::u16string& field) {
    std::size_t b = 0, e = field.size();
    while (b < e && field[b] == u' ') ++b;
    while (e > b && field[e - 1] == u' ') --e;
    if (b == e) return 0;
    bool negative = false;
    if (field[b] == u'+' || field[b] == u'-') {
        negative = field[b] == u'-';
        ++b;
    }
    if (b == e) return 0;
    std::int64_t v = 0;
    for (std::size_t i = b; i < e; ++i) {
        char16_t c = field[i];
        if (c < u'0' || c > u'9') return 0;
        v = v * 10 + (c - u'0');
        if (v > 2147483648LL) return 0;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return 0;
    return static_cast<std::int32_t>(v);
}

std::int32_t Bounded(std::int32_t v, std::int32_t max) {
    return v < 0 ? 0 : v > max ? max : v;
}

void PlaySpeakerSetting(TRegistry& reg, std::uint8_t event) {
    if (!reg.OpenKey(RegPath + u"Settings\\Speaker", false)) return;
    std::u16string text = reg.ReadString(SoundEventNames[event]);
    if (text.empty()) return;
    TSpeakerSetting s;  // fields the text leaves out stay 0
    ParseSpeakerSetting(text, s);
    std::int32_t count = s.Count > kMaxToneCount ? kMaxToneCount : s.Count;
    std::int32_t duration = Bounded(s.Duration, kMaxToneMs);
    std::int32_t pause = Bounded(s.Pause, kMaxPauseMs);
    if (!Speaker) return;
    for (std::int32_t i = 1; i <= count; ++i) {
        Speaker->Play(static_cast<std::uint16_t>(s.Freq & 0xFFFF), duration);
        if (i < count) Speaker->Delay(pause);
    }
}

void PlaySchemeSound(TRegistry& reg, std::uint8_t event) {
    if (!reg.OpenKey(kSchemeRoot + SoundEventNames[event] + u"\\.current", false)) return;
    std::u16string file = reg.ReadString(u"");
    if (file.empty()) return;
    // Synchronous; without SND_NODEFAULT a missing file may give the system's sound.
    (void)Plat().PlaySoundW(file, SND_FILENAME);
}

}  // namespace

void ParseSpeakerSetting(const std::u16string& text, TSpeakerSetting& setting) {
    std::int32_t* fields[4] = {&setting.Freq, &setting.Duration, &setting.Count, &setting.Pause};
    std::size_t start = 0;
    int n = 0;
    while (start < text.size() && n < 4) {
        std::size_t comma = text.find(u',', start);
        std::size_t end = comma == std::u16string::npos ? text.size() : comma;
        *fields[n++] = FieldValue(text.substr(start, end - start));
        if (comma == std::u16string::npos) break;
        start = comma + 1;
    }
}

bool PlaySoundEvent(std::uint8_t event) noexcept {
    // Event 0 has no name and the numbers above 8 none at all: nothing to look up.
    if (event == 0 || event >= SoundEventNames.size()) return true;
    try {
        // Reading is all this needs; the wrapper closes its key on every way out.
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (Options && Options->GetOptionOrOff(OPT_SPEAKER) != 0) {
            PlaySpeakerSetting(reg, event);
        } else {
            PlaySchemeSound(reg, event);
        }
    } catch (const EVtError& e) {
        try {
            (void)DebugLog(u"PlaySound\t%d\t%s", event, e.Message());
        } catch (...) {
        }
    } catch (...) {
        try {
            (void)DebugLog(u"PlaySound\t%d\tunexpected error", event);
        } catch (...) {
        }
    }
    return true;
}

}  // namespace vt
