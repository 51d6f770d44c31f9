// What "Tasten umbelegen…" on the page "Erweitert" will do to the machine's scancode map,
// said before the setup tool runs: it writes the tool's own map, takes only its own map
// away, and puts back the map kept from before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vt {

struct RRemapStore {
    std::optional<std::vector<std::uint8_t>> map;  // "Scancode Map", when there
    bool mapIsBinary = true;
    bool backup = false;  // "Vantor Backup Scancode Map" is there
    bool backupIsOwn = false;
};
// The machine's values as they are; nothing when they cannot be read.
RRemapStore ReadRemapStore();
// Whether the bytes are one of the maps VtInst writes (Caps Lock, Scroll Lock or both,
// with the scan codes of the active layout).
bool IsToolRemap(const std::vector<std::uint8_t>& bytes);
// The sentence for the page: what VtInst /M with these boxes will do.
std::u16string RemapPlanText(const RRemapStore& store, bool capsLock, bool scrollLock);

}  // namespace vt
