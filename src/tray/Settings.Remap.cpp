#include "Settings.Remap.h"

#include <exception>

#include "common/DebugWindowInterface.h"
#include "common/RegistryKey.h"
#include "common/VtError.h"
#include "platform/Platform.h"

namespace vt {

namespace {

const std::u16string kLayoutKey = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
constexpr std::uint32_t kMaxMapBytes = 4096;

std::uint16_t ScanOf(std::uint32_t vk) {
    return static_cast<std::uint16_t>(Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC_EX) & 0xFFFF);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The bytes VtInst writes: no header flags, the count with the closing entry, Caps Lock
// to VK_EREOF first, then Scroll Lock to VK_ZOOM.
std::vector<std::uint8_t> ToolMap(bool capsLock, bool scrollLock) {
    std::vector<std::uint8_t> out;
    PutWord(out, 0);
    PutWord(out, 0);
    PutWord(out, 1u + (capsLock ? 1u : 0u) + (scrollLock ? 1u : 0u));
    if (capsLock) PutWord(out, ScanOf(VK_EREOF) | std::uint32_t(ScanOf(VK_CAPITAL)) << 16);
    if (scrollLock) PutWord(out, ScanOf(VK_ZOOM) | std::uint32_t(ScanOf(VK_SCROLL)) << 16);
    PutWord(out, 0);
    return out;
}

std::optional<std::vector<std::uint8_t>> ReadBytes(TRegistry& reg, const std::u16string& name,
                                                   bool* binary) {
    std::uint32_t type = 0, size = 0;
    if (!reg.GetDataInfo(name, &type, &size)) return std::nullopt;
    *binary = type == REG_BINARY && size <= kMaxMapBytes;
    if (!*binary) return std::vector<std::uint8_t>{};
    std::vector<std::uint8_t> bytes(size);
    bytes.resize(size ? reg.ReadBinaryData(name, bytes.data(), size) : 0);
    return bytes;
}

}  // namespace

bool IsToolRemap(const std::vector<std::uint8_t>& bytes) {
    return bytes == ToolMap(true, false) || bytes == ToolMap(false, true) ||
           bytes == ToolMap(true, true);
}

RRemapStore ReadRemapStore() {
    RRemapStore store;
    try {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(kLayoutKey)) return store;
        store.map = ReadBytes(reg, u"Scancode Map", &store.mapIsBinary);
        bool backupBinary = true;
        auto backup = ReadBytes(reg, u"Vantor Backup Scancode Map", &backupBinary);
        store.backup = backup.has_value();
        store.backupIsOwn = backup && backupBinary && IsToolRemap(*backup);
    } catch (const std::exception& e) {
        try {
            const auto* vtError = dynamic_cast<const EVtError*>(&e);
            DebugLog(u"Vantor32: Scancode Map: %s", vtError ? vtError->Message() : ToU16(e.what()));
        } catch (...) {
        }
    }
    return store;
}

std::u16string RemapPlanText(const RRemapStore& store, bool capsLock, bool scrollLock) {
    const bool own = store.map && store.mapIsBinary && IsToolRemap(*store.map);
    const bool foreign = store.map && !own;
    const bool earlier = store.backup && !store.backupIsOwn;  // a map from before to put back
    const std::u16string lead = u"„Tasten umbelegen…“ ";
    if (!capsLock && !scrollLock) {
        if (foreign)
            return lead +
                   u"ändert nichts: Die Umbelegung auf diesem Computer stammt nicht von "
                   u"Vantor32 und bleibt.";
        if (earlier)
            return lead + (own ? u"hebt die Umbelegung von Vantor32 auf und stellt die "
                                 u"Belegung von vorher wieder her."
                               : u"stellt die Belegung von vorher wieder her.");
        return lead + (own ? u"hebt die Umbelegung von Vantor32 auf."
                           : u"ändert nichts: Keine Taste ist umbelegt.");
    }
    const std::u16string keys = capsLock && scrollLock ? u"CAPSLOCK und ROLLEN"
                                : capsLock             ? u"CAPSLOCK"
                                                       : u"ROLLEN";
    std::u16string text = lead + u"schaltet " + keys + u" aus";
    if (foreign && !earlier)
        text +=
            u"; die Umbelegung, die es schon gibt, wird aufbewahrt und kommt mit der "
            u"Aufhebung zurück";
    else if (foreign)
        text += u" und ersetzt die Umbelegung, die es schon gibt (sie stammt nicht von Vantor32)";
    return text + u".";
}

}  // namespace vt
