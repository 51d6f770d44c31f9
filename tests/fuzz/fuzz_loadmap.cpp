// LoadMap on arbitrary bytes: whatever the count field claims, the map holds only the
// entries present, stores back to a prefix of the input, and stays usable for
// AddMapping and the export text. The same bytes stored as the registry value load the
// same map through ReadFromRegistry, or are refused when larger than its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FakePlatform.h"
#include "common/VtError.h"
#include "setup/VtConfig.Common.h"

using namespace vt;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RScancodeMap map;
    LoadMap(map, data, size);

    std::size_t present = size > 12 ? (size - 12) / 4 : 0;
    Check(map.len >= 0);
    Check(static_cast<std::size_t>(map.len) == map.a.size());
    Check(map.a.size() <= present);
    Check(MapSize(map) == 12 + 4 * static_cast<int>(map.a.size()));

    std::vector<std::uint8_t> stored = StoreMap(map);
    Check(stored.size() == static_cast<std::size_t>(MapSize(map)));
    // Header and entries come back as they were read; only the count may differ.
    if (size >= 12) {
        Check(std::memcmp(stored.data(), data, 8) == 0);
        Check(std::memcmp(stored.data() + 12, data + 12, stored.size() - 12) == 0);
    }

    RScancodeMap again;
    LoadMap(again, stored.data(), stored.size());
    Check(again.a == map.a);

    std::u16string hex = MapToHex(map);
    Check(hex.size() == stored.size() * 3 - 1);

    int before = map.len;
    bool terminated = HasTerminator(map);
    AddMapping(map, 0x3A, 0x5D);
    Check(map.len == before + (terminated ? 1 : 2));
    Check(HasTerminator(map));
    Check(RegFileText(map).size() > 0);

    if (size <= 4096) {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE,
                                u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout",
                                u"Scancode Map", std::vector<std::uint8_t>(data, data + size));
        TScancodeMap fromRegistry;
        RScancodeMap direct;
        LoadMap(direct, data, size);
        try {
            Check(fromRegistry.ReadFromRegistry());
            Check(size <= 1032);
            Check(fromRegistry.MapPtr()->a == direct.a);
            Check(fromRegistry.MapPtr()->len == direct.len);
        } catch (const ERegistryException&) {
            Check(size > 1032);
        }
        Check(scope.fake.OpenRegKeys() == 0);
    }
    return 0;
}
