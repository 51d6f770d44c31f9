// The product's sound events in Windows' own sound settings: the scheme key with its
// display name and the event labels, as Windows applications register theirs. The
// lookup of PlaySound reads the ".current" files a person chooses there.
#include <exception>

#include "Vantor32.h"
#include "common/DebugWindowInterface.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

const std::u16string SoundEventLabels[9] = {
    u"",
    u"Vantor32: Schalter eingeschaltet",
    u"Vantor32: Schalter ausgeschaltet",
    u"Vantor32: Großschrift (CAPSLOCK)",
    u"Vantor32: Rollen",
    u"Vantor32: Zehnerblock (NUM)",
    u"Vantor32: NUM Punkt umgeschaltet",
    u"Vantor32: Umlautwandlung umgeschaltet",
    u"Vantor32: EasyTab umgeschaltet",
};

namespace {

// Writes the default value of path only when it has none: a file a person chose, or
// another program's label of the same event name, stays.
bool DefaultValueOnce(const std::u16string& path, const std::u16string& text) {
    TRegistry reg;
    if (!reg.OpenKey(path, true)) return false;
    if (!reg.ValueExists(u"")) reg.WriteString(u"", text);
    return true;
}

}  // namespace

bool RegisterSoundEvents() {
    try {
        bool ok = true;
        {
            TRegistry scheme;
            if (!scheme.OpenKey(kSchemeKey, true)) return false;
            scheme.WriteString(u"", u"Vantor32");  // the name the sound settings list
        }
        for (std::size_t e = 1; e <= 8; ++e) {
            const std::u16string event = kSchemeKey + u"\\" + SoundEventNames[e];
            ok = DefaultValueOnce(event + u"\\.current", u"") && ok;
            ok = DefaultValueOnce(event + u"\\.Default", u"") && ok;
            ok = DefaultValueOnce(kEventLabelsKey + u"\\" + SoundEventNames[e],
                                  SoundEventLabels[e]) &&
                 ok;
        }
        return ok;
    } catch (const std::exception& e) {
        try {
            const auto* vtError = dynamic_cast<const EVtError*>(&e);
            DebugLog(u"Vantor32: Klangereignisse: %s",
                     vtError ? vtError->Message() : ToU16(e.what()));
        } catch (...) {
        }
        return false;
    }
}

}  // namespace vt
