#include "FakePlatform.h"

#include <algorithm>
#include <filesystem>
#include <cstring>

namespace vt {

namespace {

// Error codes the fake reports beyond the ones the logic names.
constexpr long kErrorNotEnoughMemory = 8;
constexpr long kErrorBadPathname = 161;
constexpr long kErrorNoAccess = 998;
constexpr long kErrorKeyDeleted = 1018;
constexpr long kErrorInvalidWindowHandle = 1400;
constexpr long kErrorInvalidHookHandle = 1404;
constexpr long kErrorTimeout = 1460;
constexpr long kErrorInvalidAddress = 487;
constexpr long kErrorInvalidFlags = 1004;
constexpr long kErrorCantResolveFilename = 1921;

// Access bits that change a key or its values.
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kWriteAccess = KEY_SET_VALUE | kKeyCreateSubKey | kDelete | kWriteDac |
                                       kWriteOwner | kGenericWrite | kGenericAll;

// Upper case the way the registry and the window manager compare names: ASCII, Latin-1
// and the paired letters of Latin Extended-A, which covers every name the logic uses.
char16_t Upcase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper) return (c & 1) ? c : static_cast<char16_t>(c - 1);
        return (c & 1) ? static_cast<char16_t>(c - 1) : c;
    }
    return c;
}

std::u16string Upper(const std::u16string& s) {
    std::u16string r(s);
    for (auto& c : r) c = Upcase(c);
    return r;
}

bool SameText(const std::u16string& a, const std::u16string& b) {
    return Upper(a) == Upper(b);
}

std::vector<std::uint8_t> TextBytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    return bytes;
}

bool IsRoot(HKey key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

}  // namespace

// ---------------------------------------------------------------- state
namespace {

struct RegNode {
    std::u16string name;  // as created
    RegNode* parent = nullptr;
    bool deleted = false;
    bool isProtected = false;
    // A symbolic link: the key it points to, found anew at every use.
    bool isLink = false;
    HKey linkRoot = 0;
    std::u16string linkPath;
    // Keyed by the upper-cased name: the registry lists subkeys in that order.
    std::map<std::u16string, std::shared_ptr<RegNode>> subKeys;
    struct Value {
        std::u16string name;
        FakePlatform::RegValue value;
    };
    std::map<std::u16string, Value> values;
};

struct KeyHandle {
    std::shared_ptr<RegNode> node;
    std::uint32_t access = 0;
};

struct FakeWindow {
    std::u16string className, title;
    FakePlatform::MessageHandler handler;
    HWnd parent = 0;
    bool hung = false;
    std::uint32_t answerMs = 0;
};

// Views cover whole pages, as on Windows: a mapping of 100 bytes has a 4096-byte view.
constexpr std::size_t kPageSize = 4096;

struct MappingObject {
    std::u16string name;
    std::vector<std::uint8_t> bytes;  // whole pages
    bool reserved = false;            // SEC_RESERVE: nothing committed
};

struct KernelHandle {
    std::shared_ptr<MappingObject> mapping;  // null for a mutex, a token or a process
    std::u16string mutexName;
    bool token = false;
    int process = -1;  // index into FakePlatform::processes for a process handle
};

}  // namespace

struct FakePlatform::Impl {
    std::map<HKey, std::shared_ptr<RegNode>> roots;
    std::map<HKey, KeyHandle> keys;
    HKey nextKey = 0x1000;

    std::map<HWnd, FakeWindow> windows;
    HWnd nextWnd = 0x10010;
    HHook nextHook = 0x20001;

    std::map<std::u16string, std::weak_ptr<MappingObject>> mappingNames;
    std::map<Handle, KernelHandle> handles;
    std::map<std::u16string, int> ownedMutexes;  // by name: this thread's recursion count
    Handle nextHandle = 0x40;
    struct View {
        std::shared_ptr<MappingObject> mapping;
        int count = 0;
    };
    std::map<void*, View> views;
    std::vector<std::shared_ptr<MappingObject>> keptMappings;  // other processes' objects

    bool germanLayout = true;

    Impl() {
        for (HKey root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
            roots[root] = std::make_shared<RegNode>();
    }

    // The node a handle stands for; null with the error code when it cannot be used.
    RegNode* Node(HKey key, long* error, std::uint32_t* access = nullptr) {
        auto root = roots.find(key);
        if (root != roots.end()) {
            if (access) *access = KEY_ALL_ACCESS;
            return root->second.get();
        }
        auto it = keys.find(key);
        if (it == keys.end()) {
            *error = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        if (it->second.node->deleted) {
            *error = kErrorKeyDeleted;
            return nullptr;
        }
        if (access) *access = it->second.access;
        return it->second.node.get();
    }

    // Splits a subkey path. Windows takes a leading backslash only below HKEY_CLASSES_ROOT;
    // repeated and trailing backslashes are skipped.
    static bool SplitPath(HKey root, const std::u16string& path, std::vector<std::u16string>* out,
                          long* error) {
        std::u16string p = path;
        if (!p.empty() && p.front() == u'\\') {
            if (root != HKEY_CLASSES_ROOT) {
                *error = kErrorBadPathname;
                return false;
            }
            p.erase(0, 1);
        }
        out->clear();
        if (p.empty()) return true;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = p.find(u'\\', start);
            std::u16string part = p.substr(start, end == std::u16string::npos ? end : end - start);
            if (!part.empty()) out->push_back(part);
            if (end == std::u16string::npos) break;
            start = end + 1;
        }
        return true;
    }

    static std::shared_ptr<RegNode> Child(RegNode* node, const std::u16string& name) {
        auto it = node->subKeys.find(Upper(name));
        return it == node->subKeys.end() ? nullptr : it->second;
    }

    std::shared_ptr<RegNode> SharedOf(RegNode* node) {
        if (!node->parent) {
            for (auto& r : roots)
                if (r.second.get() == node) return r.second;
            return nullptr;
        }
        return node->parent->subKeys[Upper(node->name)];
    }

    // The key a link points to; links to links are followed a limited number of times.
    std::shared_ptr<RegNode> Resolve(std::shared_ptr<RegNode> node, long* error, int hops = 0) {
        if (!node->isLink) return node;
        if (hops > 32) {
            *error = kErrorCantResolveFilename;
            return nullptr;
        }
        std::shared_ptr<RegNode> target =
            Find(node->linkRoot, node->linkPath, error, false, hops + 1);
        return target;
    }

    // Walks the path below a root or key without creating anything. Links on the way are
    // followed; the last one too unless openLink.
    std::shared_ptr<RegNode> Find(HKey root, const std::u16string& path, long* error,
                                  bool openLink = false, int hops = 0) {
        RegNode* base = Node(root, error);
        if (!base) return nullptr;
        std::vector<std::u16string> parts;
        if (!SplitPath(root, path, &parts, error)) return nullptr;
        std::shared_ptr<RegNode> node = SharedOf(base);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            node = Child(node.get(), parts[i]);
            if (!node) {
                *error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            if (node->isLink && !(openLink && i + 1 == parts.size())) {
                node = Resolve(node, error, hops);
                if (!node) return nullptr;
            }
        }
        return node;
    }

    std::shared_ptr<RegNode> Create(HKey root, const std::u16string& path, bool* created,
                                    long* error) {
        RegNode* base = Node(root, error);
        if (!base) return nullptr;
        std::vector<std::u16string> parts;
        if (!SplitPath(root, path, &parts, error)) return nullptr;
        std::shared_ptr<RegNode> node = SharedOf(base);
        bool made = false;
        for (const auto& part : parts) {
            auto next = Child(node.get(), part);
            if (next && next->isLink) {
                next = Resolve(next, error);
                if (!next) return nullptr;
            }
            if (!next) {
                if (node->isProtected) {
                    *error = ERROR_ACCESS_DENIED;
                    return nullptr;
                }
                next = std::make_shared<RegNode>();
                next->name = part;
                next->parent = node.get();
                node->subKeys[Upper(part)] = next;
                made = true;
            } else {
                made = false;
            }
            node = next;
        }
        if (created) *created = made;
        return node;
    }

    HKey NewKey(const std::shared_ptr<RegNode>& node, std::uint32_t access) {
        HKey h = nextKey;
        nextKey += 4;
        keys[h] = KeyHandle{node, access};
        return h;
    }

    long Open(HKey root, const std::u16string& subKey, std::uint32_t access, HKey* out,
              bool openLink) {
        long error = 0;
        auto node = Find(root, subKey, &error, openLink);
        if (!node) return error;
        if (node->isProtected && (access & kWriteAccess)) return ERROR_ACCESS_DENIED;
        if (!out) return ERROR_INVALID_PARAMETER;
        // a predefined root opened by itself comes back as the same handle
        *out = IsRoot(root) && subKey.empty() ? root : NewKey(node, access);
        return ERROR_SUCCESS;
    }

    static void MarkDeleted(RegNode* node) {
        node->deleted = true;
        for (auto& sub : node->subKeys) MarkDeleted(sub.second.get());
    }
};

// ---------------------------------------------------------------- keyboard tables
namespace {

struct ScanEntry {
    std::uint16_t vk;
    std::uint16_t scan;  // 0xE0xx / 0xE1xx for extended keys
};

// Set-1 scan codes of a PC keyboard; the OEM keys and Y/Z differ between the layouts.
const ScanEntry kCommonScans[] = {
    {0x1B, 0x01},
    {0x08, 0x0E},
    {0x09, 0x0F},
    {0x0D, 0x1C},
    {0x10, 0x2A},
    {0xA0, 0x2A},
    {0xA1, 0x36},
    {0x11, 0x1D},
    {0xA2, 0x1D},
    {0xA3, 0xE01D},
    {0x12, 0x38},
    {0xA4, 0x38},
    {0xA5, 0xE038},
    {0x20, 0x39},
    {0x14, 0x3A},
    {0x90, 0xE045},
    {0x91, 0x46},
    {0x13, 0xE11D},
    {0x2C, 0x54},
    {0x5B, 0xE05B},
    {0x5C, 0xE05C},
    {0x5D, 0xE05D},
    {0x2D, 0xE052},
    {0x2E, 0xE053},
    {0x24, 0xE047},
    {0x23, 0xE04F},
    {0x21, 0xE049},
    {0x22, 0xE051},
    {0x25, 0xE04B},
    {0x26, 0xE048},
    {0x27, 0xE04D},
    {0x28, 0xE050},
    {0x6F, 0xE035},
    {0x6A, 0x37},
    {0x6D, 0x4A},
    {0x6B, 0x4E},
    {0x6E, 0x53},
    {0x67, 0x47},
    {0x68, 0x48},
    {0x69, 0x49},
    {0x64, 0x4B},
    {0x65, 0x4C},
    {0x66, 0x4D},
    {0x61, 0x4F},
    {0x62, 0x50},
    {0x63, 0x51},
    {0x60, 0x52},
    {0x0C, 0x4C},
    {0x7A, 0x57},
    {0x7B, 0x58},
    {0xF9, 0x5D},
    {0xFB, 0x62},
    {0x2F, 0x63},
    {0x87, 0x76},
    {0x03, 0xE046},
    // letters without Y/Z, rows top to bottom
    {'Q', 0x10},
    {'W', 0x11},
    {'E', 0x12},
    {'R', 0x13},
    {'T', 0x14},
    {'U', 0x16},
    {'I', 0x17},
    {'O', 0x18},
    {'P', 0x19},
    {'A', 0x1E},
    {'S', 0x1F},
    {'D', 0x20},
    {'F', 0x21},
    {'G', 0x22},
    {'H', 0x23},
    {'J', 0x24},
    {'K', 0x25},
    {'L', 0x26},
    {'X', 0x2D},
    {'C', 0x2E},
    {'V', 0x2F},
    {'B', 0x30},
    {'N', 0x31},
    {'M', 0x32},
};

const ScanEntry kGermanScans[] = {
    {'Z', 0x15},  {'Y', 0x2C},  {0xDB, 0x0C}, {0xDD, 0x0D}, {0xBA, 0x1A},
    {0xBB, 0x1B}, {0xC0, 0x27}, {0xDE, 0x28}, {0xDC, 0x29}, {0xBF, 0x2B},
    {0xBC, 0x33}, {0xBE, 0x34}, {0xBD, 0x35}, {0xE2, 0x56},
};

const ScanEntry kUsScans[] = {
    {'Y', 0x15},  {'Z', 0x2C},  {0xBD, 0x0C}, {0xBB, 0x0D}, {0xDB, 0x1A},
    {0xDD, 0x1B}, {0xBA, 0x27}, {0xDE, 0x28}, {0xC0, 0x29}, {0xDC, 0x2B},
    {0xBC, 0x33}, {0xBE, 0x34}, {0xBF, 0x35}, {0xE2, 0x56},
};

template <typename T>
struct Table {
    const T* first;
    const T* last;
    const T* begin() const { return first; }
    const T* end() const { return last; }
};

template <typename T, std::size_t N, std::size_t M>
Table<T> Pick(bool german, const T (&de)[N], const T (&us)[M]) {
    return german ? Table<T>{de, de + N} : Table<T>{us, us + M};
}

std::uint32_t ScanOf(std::uint32_t vk, bool german) {
    if (vk >= '0' && vk <= '9') return vk == '0' ? 0x0B : vk - '1' + 0x02;
    if (vk >= 0x70 && vk <= 0x79) return vk - 0x70 + 0x3B;  // F1..F10
    if (vk >= 0x7C && vk <= 0x86) return vk - 0x7C + 0x64;  // F13..F23
    for (const auto& e : Pick(german, kGermanScans, kUsScans))
        if (e.vk == vk) return e.scan;
    for (const auto& e : kCommonScans)
        if (e.vk == vk) return e.scan;
    return 0;
}

// Scan code to virtual key; `sided` keeps left and right modifiers apart (VSC_TO_VK_EX).
std::uint32_t VkOfScan(std::uint32_t scan, bool sided, bool german) {
    std::uint32_t prefix = scan & 0xFF00;
    if (prefix != 0 && prefix != 0xE000 && prefix != 0xE100) return 0;
    if (prefix == 0) {
        switch (scan) {
            case 0x2A:
                return sided ? 0xA0 : 0x10;
            case 0x36:
                return sided ? 0xA1 : 0x10;
            case 0x1D:
                return sided ? 0xA2 : 0x11;
            case 0x38:
                return sided ? 0xA4 : 0x12;
            case 0x45:
                return 0x90;
            // the keypad block reports its navigation meaning, as the layout tables do
            case 0x47:
                return 0x24;
            case 0x48:
                return 0x26;
            case 0x49:
                return 0x21;
            case 0x4B:
                return 0x25;
            case 0x4C:
                return 0x0C;
            case 0x4D:
                return 0x27;
            case 0x4F:
                return 0x23;
            case 0x50:
                return 0x28;
            case 0x51:
                return 0x22;
            case 0x52:
                return 0x2D;
            case 0x53:
                return 0x2E;
            default:
                break;
        }
        if (scan >= 0x02 && scan <= 0x0B) return scan == 0x0B ? '0' : '1' + scan - 0x02;
        if (scan >= 0x3B && scan <= 0x44) return 0x70 + scan - 0x3B;
        if (scan >= 0x64 && scan <= 0x6E) return 0x7C + scan - 0x64;
    } else {
        switch (scan) {
            case 0xE01D:
                return sided ? 0xA3 : 0x11;
            case 0xE038:
                return sided ? 0xA5 : 0x12;
            default:
                break;
        }
    }
    for (const auto& e : Pick(german, kGermanScans, kUsScans))
        if (e.scan == scan) return e.vk;
    for (const auto& e : kCommonScans)
        if (e.scan == scan && e.vk != 0x10 && e.vk != 0x11 && e.vk != 0x12 && e.vk != 0xA0 &&
            e.vk != 0xA2 && e.vk != 0xA4)
            return e.vk;
    return 0;
}

// Characters of the unshifted keys (MAPVK_VK_TO_CHAR); dead keys carry bit 31.
std::uint32_t CharOf(std::uint32_t vk, bool german) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
    if (vk >= 0x60 && vk <= 0x69) return '0' + vk - 0x60;
    switch (vk) {
        case 0x03:
            return 0x03;
        case 0x08:
            return 0x08;
        case 0x09:
            return 0x09;
        case 0x0D:
            return 0x0D;
        case 0x1B:
            return 0x1B;
        case 0x20:
            return 0x20;
        case 0x6A:
            return '*';
        case 0x6B:
            return '+';
        case 0x6D:
            return '-';
        case 0x6F:
            return '/';
        case 0x6E:
            return german ? ',' : '.';
        default:
            break;
    }
    if (german) {
        switch (vk) {
            case 0xBA:
                return 0xDC;  // Ü
            case 0xBB:
                return '+';
            case 0xBC:
                return ',';
            case 0xBD:
                return '-';
            case 0xBE:
                return '.';
            case 0xBF:
                return '#';
            case 0xC0:
                return 0xD6;  // Ö
            case 0xDB:
                return 0xDF;  // ß
            case 0xDC:
                return 0x8000005Eu;  // ^ (dead)
            case 0xDD:
                return 0x800000B4u;  // ´ (dead)
            case 0xDE:
                return 0xC4;  // Ä
            case 0xE2:
                return '<';
            default:
                return 0;
        }
    }
    switch (vk) {
        case 0xBA:
            return ';';
        case 0xBB:
            return '=';
        case 0xBC:
            return ',';
        case 0xBD:
            return '-';
        case 0xBE:
            return '.';
        case 0xBF:
            return '/';
        case 0xC0:
            return '`';
        case 0xDB:
            return '[';
        case 0xDC:
            return '\\';
        case 0xDD:
            return ']';
        case 0xDE:
            return '\'';
        case 0xE2:
            return '\\';
        default:
            return 0;
    }
}

struct CharKey {
    char16_t ch;
    std::int16_t code;
};

// High byte of a key-scan result: 1 Shift, 2 Ctrl, 4 Alt; AltGr is Ctrl+Alt (6).
const CharKey kGermanChars[] = {
    {u'!', 0x131},  {u'"', 0x132},  {0xA7, 0x133},   {u'$', 0x134}, {u'%', 0x135}, {u'&', 0x136},
    {u'/', 0x137},  {u'(', 0x138},  {u')', 0x139},   {u'=', 0x130}, {0xB2, 0x632}, {0xB3, 0x633},
    {u'{', 0x637},  {u'[', 0x638},  {u']', 0x639},   {u'}', 0x630}, {0xDF, 0xDB},  {u'?', 0x1DB},
    {u'\\', 0x6DB}, {0xB4, 0xDD},   {u'`', 0x1DD},   {u'+', 0xBB},  {u'*', 0x1BB}, {u'~', 0x6BB},
    {u'#', 0xBF},   {u'\'', 0x1BF}, {0xFC, 0xBA},    {0xDC, 0x1BA}, {0xF6, 0xC0},  {0xD6, 0x1C0},
    {0xE4, 0xDE},   {0xC4, 0x1DE},  {u'^', 0xDC},    {0xB0, 0x1DC}, {u',', 0xBC},  {u';', 0x1BC},
    {u'.', 0xBE},   {u':', 0x1BE},  {u'-', 0xBD},    {u'_', 0x1BD}, {u'<', 0xE2},  {u'>', 0x1E2},
    {u'|', 0x6E2},  {u'@', 0x651},  {0x20AC, 0x645}, {0xB5, 0x64D},
};

const CharKey kUsChars[] = {
    {u'!', 0x131}, {u'@', 0x132}, {u'#', 0x133}, {u'$', 0x134}, {u'%', 0x135}, {u'^', 0x136},
    {u'&', 0x137}, {u'*', 0x138}, {u'(', 0x139}, {u')', 0x130}, {u';', 0xBA},  {u':', 0x1BA},
    {u'=', 0xBB},  {u'+', 0x1BB}, {u',', 0xBC},  {u'<', 0x1BC}, {u'-', 0xBD},  {u'_', 0x1BD},
    {u'.', 0xBE},  {u'>', 0x1BE}, {u'/', 0xBF},  {u'?', 0x1BF}, {u'`', 0xC0},  {u'~', 0x1C0},
    {u'[', 0xDB},  {u'{', 0x1DB}, {u'\\', 0xDC}, {u'|', 0x1DC}, {u']', 0xDD},  {u'}', 0x1DD},
    {u'\'', 0xDE}, {u'"', 0x1DE},
};

std::int16_t ScanChar(char16_t ch, bool german) {
    if (ch >= u'0' && ch <= u'9') return static_cast<std::int16_t>(ch);
    if (ch >= u'a' && ch <= u'z') {
        std::int16_t vk = static_cast<std::int16_t>(ch - 0x20);
        if (german && vk == 'Y') return 'Z';
        if (german && vk == 'Z') return 'Y';
        return vk;
    }
    if (ch >= u'A' && ch <= u'Z') {
        std::int16_t vk = static_cast<std::int16_t>(ch);
        if (german && vk == 'Y')
            vk = 'Z';
        else if (german && vk == 'Z')
            vk = 'Y';
        return static_cast<std::int16_t>(0x100 | vk);
    }
    switch (ch) {
        case u' ':
            return 0x20;
        case u'\t':
            return 0x09;
        case u'\r':
            return 0x0D;
        case u'\n':
            return 0x20D;  // Ctrl+Enter
        case u'\b':
            return 0x08;
        case 0x1B:
            return 0x1B;
        default:
            break;
    }
    for (const auto& e : Pick(german, kGermanChars, kUsChars))
        if (e.ch == ch) return e.code;
    return -1;
}

bool IsLockKey(int vk) {
    return vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL;
}

// The keys whose two levels Caps Lock swaps: the letters, and on the German layout the
// umlaut keys (not the sharp s).
bool IsCapsKey(int vk, bool german) {
    if (vk >= 'A' && vk <= 'Z') return true;
    return german && (vk == 0xBA || vk == 0xC0 || vk == 0xDE);
}

// Key-scan result back to its character: the first character (lowest code) the layout
// types with that key and those modifiers.
char16_t CharOfScan(std::int16_t code, bool german) {
    static const auto build = [](bool de) {
        std::map<std::int16_t, char16_t> table;
        for (char32_t c = 1; c < 0x2100; ++c) {
            const std::int16_t r = ScanChar(static_cast<char16_t>(c), de);
            if (r != -1) table.emplace(r, static_cast<char16_t>(c));
        }
        return table;
    };
    static const std::map<std::int16_t, char16_t> kGerman = build(true), kUs = build(false);
    const auto& table = german ? kGerman : kUs;
    auto it = table.find(code);
    return it == table.end() ? 0 : it->second;
}

// The character a key press types into an edit control with the key state as it now
// stands; 0 for none (a shortcut with Ctrl or Alt alone, a key without a character).
// Alt + keypad entry composes nothing here: Wine does not compose either.
char16_t TypedChar(int vk, const std::uint8_t* state, bool german) {
    const bool shift = state[VK_SHIFT] & 0x80, ctrl = state[VK_CONTROL] & 0x80,
               alt = state[VK_MENU] & 0x80;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9)
        return alt || ctrl ? 0 : static_cast<char16_t>(u'0' + vk - VK_NUMPAD0);
    if (ctrl != alt) return 0;
    int mods = (shift ? 1 : 0) | (ctrl && alt ? 6 : 0);
    if ((mods & 6) == 0 && (state[VK_CAPITAL] & 1) && IsCapsKey(vk, german)) mods ^= 1;
    return CharOfScan(static_cast<std::int16_t>((mods << 8) | vk), german);
}

}  // namespace

// ---------------------------------------------------------------- construction
FakePlatform::FakePlatform() : impl_(std::make_unique<Impl>()) {
    // Everyone, Administrators (enabled, owner), Users, Interactive, Authenticated Users
    tokenGroups = {{Sid(1, {0}), 0x7},
                   {Sid(5, {32, 544}), 0xF},
                   {Sid(5, {32, 545}), 0x7},
                   {Sid(5, {4}), 0x7},
                   {Sid(5, {11}), 0x7}};
    static const char16_t* const kDays[] = {u"Montag",  u"Dienstag", u"Mittwoch", u"Donnerstag",
                                            u"Freitag", u"Samstag",  u"Sonntag"};
    static const char16_t* const kShortDays[] = {u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa", u"So"};
    static const char16_t* const kMonths[] = {u"Januar",    u"Februar", u"März",     u"April",
                                              u"Mai",       u"Juni",    u"Juli",     u"August",
                                              u"September", u"Oktober", u"November", u"Dezember"};
    static const char16_t* const kShortMonths[] = {u"Jan", u"Feb", u"Mär", u"Apr", u"Mai", u"Jun",
                                                   u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"};
    localeInfo[LOCALE_SLONGDATE] = u"dddd, d. MMMM yyyy";
    localeInfo[LOCALE_STIMEFORMAT] = u"HH:mm:ss";
    localeInfo[LOCALE_S1159] = u"";
    localeInfo[LOCALE_S2359] = u"";
    for (std::uint32_t i = 0; i < 7; ++i) {
        localeInfo[LOCALE_SDAYNAME1 + i] = kDays[i];
        localeInfo[LOCALE_SABBREVDAYNAME1 + i] = kShortDays[i];
    }
    for (std::uint32_t i = 0; i < 12; ++i) {
        localeInfo[LOCALE_SMONTHNAME1 + i] = kMonths[i];
        localeInfo[LOCALE_SABBREVMONTHNAME1 + i] = kShortMonths[i];
    }
}

FakePlatform::~FakePlatform() = default;

// ---------------------------------------------------------------- registry scene
void FakePlatform::SetRegValue(HKey root, const std::u16string& path, const std::u16string& name,
                               std::uint32_t type, const std::vector<std::uint8_t>& data) {
    long error = 0;
    auto node = impl_->Create(root, path, nullptr, &error);
    if (!node) return;
    auto& v = node->values[Upper(name)];
    v.name = name;
    v.value.type = type;
    v.value.data = data;
}

void FakePlatform::SetRegString(HKey root, const std::u16string& path, const std::u16string& name,
                                const std::u16string& text, std::uint32_t type) {
    SetRegValue(root, path, name, type, TextBytes(text));
}

void FakePlatform::SetRegBinary(HKey root, const std::u16string& path, const std::u16string& name,
                                const std::vector<std::uint8_t>& bytes) {
    SetRegValue(root, path, name, REG_BINARY, bytes);
}

void FakePlatform::SetRegDword(HKey root, const std::u16string& path, const std::u16string& name,
                               std::uint32_t value) {
    std::vector<std::uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    SetRegValue(root, path, name, REG_DWORD, bytes);
}

std::optional<FakePlatform::RegValue> FakePlatform::GetRegValue(HKey root,
                                                                const std::u16string& path,
                                                                const std::u16string& name) const {
    long error = 0;
    auto node = impl_->Find(root, path, &error);
    if (!node) return std::nullopt;
    auto it = node->values.find(Upper(name));
    if (it == node->values.end()) return std::nullopt;
    return it->second.value;
}

bool FakePlatform::RegKeyExists(HKey root, const std::u16string& path) const {
    long error = 0;
    return impl_->Find(root, path, &error) != nullptr;
}

void FakePlatform::CreateRegKey(HKey root, const std::u16string& path) {
    long error = 0;
    impl_->Create(root, path, nullptr, &error);
}

void FakePlatform::ProtectRegKey(HKey root, const std::u16string& path) {
    long error = 0;
    auto node = impl_->Create(root, path, nullptr, &error);
    if (node) node->isProtected = true;
}

int FakePlatform::OpenRegKeys() const {
    return static_cast<int>(impl_->keys.size());
}

void FakePlatform::AddRegLink(HKey root, const std::u16string& path, HKey targetRoot,
                              const std::u16string& targetPath) {
    long error = 0;
    std::vector<std::u16string> parts;
    if (!Impl::SplitPath(root, path, &parts, &error) || parts.empty()) return;
    const std::u16string name = parts.back();
    parts.pop_back();
    std::u16string parentPath;
    for (const auto& part : parts) parentPath += (parentPath.empty() ? u"" : u"\\") + part;
    auto parent = impl_->Create(root, parentPath, nullptr, &error);
    if (!parent || Impl::Child(parent.get(), name)) return;
    auto link = std::make_shared<RegNode>();
    link->name = name;
    link->parent = parent.get();
    link->isLink = true;
    link->linkRoot = targetRoot;
    link->linkPath = targetPath;
    const std::u16string native =
        (targetRoot == HKEY_LOCAL_MACHINE ? u"\\Registry\\Machine\\"
         : targetRoot == HKEY_USERS       ? u"\\Registry\\User\\"
                                          : u"\\Registry\\User\\S-1-5-21-0-0-0-1000\\") +
        targetPath;
    auto& value = link->values[u"SYMBOLICLINKVALUE"];
    value.name = u"SymbolicLinkValue";
    value.value.type = 6;  // REG_LINK: the path without a terminating NUL
    for (char16_t c : native) {
        value.value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        value.value.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    parent->subKeys[Upper(name)] = link;
}

// ---------------------------------------------------------------- registry calls
long FakePlatform::RegOpenKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                                 HKey* out) {
    ++counts.registry;
    return impl_->Open(root, subKey, access, out, false);
}

long FakePlatform::RegCreateKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                                   HKey* out, bool* created) {
    ++counts.registry;
    long error = 0;
    {
        auto existing = impl_->Find(root, subKey, &error);
        if (existing && existing->isProtected && (access & kWriteAccess))
            return ERROR_ACCESS_DENIED;
        if (!existing && error != ERROR_FILE_NOT_FOUND) return error;
    }
    bool made = false;
    auto node = impl_->Create(root, subKey, &made, &error);
    if (!node) return error;
    if (created) *created = made;
    if (out) *out = impl_->NewKey(node, access);
    return ERROR_SUCCESS;
}

long FakePlatform::RegCloseKey(HKey key) {
    ++counts.registry;
    if (IsRoot(key)) return ERROR_SUCCESS;
    if (impl_->keys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

long FakePlatform::RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!(access & KEY_QUERY_VALUE) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    auto it = node->values.find(Upper(name));
    if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
    const RegValue& v = it->second.value;
    if (type) *type = v.type;
    auto len = static_cast<std::uint32_t>(v.data.size());
    if (!data) {
        if (size) *size = len;
        return ERROR_SUCCESS;
    }
    if (*size < len) {
        *size = len;
        return ERROR_MORE_DATA;
    }
    if (len) std::memcpy(data, v.data.data(), len);
    *size = len;
    return ERROR_SUCCESS;
}

long FakePlatform::RegSetValueExW(HKey key, const std::u16string& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!(access & KEY_SET_VALUE) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (!data && size) return kErrorNoAccess;
    for (const auto& fault : failSetValue)
        if (Upper(fault.first) == Upper(name)) return fault.second;
    auto& v = node->values[Upper(name)];
    v.name = name;
    v.value.type = type;
    v.value.data.assign(data, data + size);
    return ERROR_SUCCESS;
}

long FakePlatform::RegDeleteValueW(HKey key, const std::u16string& name) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!(access & KEY_SET_VALUE) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (node->values.erase(Upper(name)) == 0) return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

long FakePlatform::RegDeleteKeyW(HKey key, const std::u16string& subKey) {
    ++counts.registry;
    long error = 0;
    std::shared_ptr<RegNode> node = impl_->Find(key, subKey, &error);
    if (!node) return error;
    if (!node->parent) return ERROR_ACCESS_DENIED;  // a predefined root
    if (node->isProtected || !node->subKeys.empty()) return ERROR_ACCESS_DENIED;
    RegNode* parent = node->parent;
    Impl::MarkDeleted(node.get());
    node->parent = nullptr;
    parent->subKeys.erase(Upper(node->name));
    return ERROR_SUCCESS;
}

long FakePlatform::RegOpenKeyExW_OpenLink(HKey root, const std::u16string& subKey,
                                          std::uint32_t access, HKey* out) {
    ++counts.registry;
    return impl_->Open(root, subKey, access, out, true);
}

long FakePlatform::NtDeleteKey(HKey key) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!node->parent || IsRoot(key)) return ERROR_ACCESS_DENIED;  // a predefined root
    if (!(access & kDelete) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (node->isProtected || !node->subKeys.empty()) return ERROR_ACCESS_DENIED;
    RegNode* parent = node->parent;
    Impl::MarkDeleted(node);
    node->parent = nullptr;
    parent->subKeys.erase(Upper(node->name));
    return ERROR_SUCCESS;
}

long FakePlatform::RegEnumKeyExW(HKey key, std::uint32_t index, std::u16string* name) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!(access & KEY_ENUMERATE_SUB_KEYS) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (index >= node->subKeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = node->subKeys.begin();
    std::advance(it, index);
    if (name) *name = it->second->name;
    return ERROR_SUCCESS;
}

long FakePlatform::RegEnumValueW(HKey key, std::uint32_t index, std::u16string* name) {
    ++counts.registry;
    long error = 0;
    std::uint32_t access = 0;
    RegNode* node = impl_->Node(key, &error, &access);
    if (!node) return error;
    if (!(access & KEY_QUERY_VALUE) && !(access & kGenericAll)) return ERROR_ACCESS_DENIED;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    auto it = node->values.begin();
    std::advance(it, index);
    if (name) *name = it->second.name;
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------- keyboard
namespace {

// The generic modifier is down while either side is.
void UpdateGeneric(std::uint8_t* table, int generic, int left, int right) {
    bool down = (table[left] & 0x80) || (table[right] & 0x80);
    table[generic] = static_cast<std::uint8_t>((table[generic] & 0x7F) | (down ? 0x80 : 0));
}

void SetDown(std::uint8_t* table, int vk, bool down) {
    table[vk] = static_cast<std::uint8_t>((table[vk] & 0x7F) | (down ? 0x80 : 0));
}

// Sets a key in one table the way Windows keeps its modifiers: both the sided and the
// generic entry.
void ApplyKey(std::uint8_t* table, int vk, bool down, bool extended) {
    switch (vk) {
        case VK_SHIFT:
            vk = VK_LSHIFT;
            break;
        case VK_CONTROL:
            vk = extended ? VK_RCONTROL : VK_LCONTROL;
            break;
        case VK_MENU:
            vk = extended ? VK_RMENU : VK_LMENU;
            break;
        default:
            break;
    }
    SetDown(table, vk, down);
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) UpdateGeneric(table, VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL)
        UpdateGeneric(table, VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
    if (vk == VK_LMENU || vk == VK_RMENU) UpdateGeneric(table, VK_MENU, VK_LMENU, VK_RMENU);
}

}  // namespace

void FakePlatform::HoldKey(int vk, bool down) {
    vk &= 0xFF;
    if (!down && (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU)) {
        // lifting the generic key lifts both sides
        int left = vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
        for (std::uint8_t* table : {keyState, asyncState}) {
            SetDown(table, left, false);
            SetDown(table, left + 1, false);
            SetDown(table, vk, false);
        }
        return;
    }
    ApplyKey(keyState, vk, down, false);
    ApplyKey(asyncState, vk, down, false);
}

void FakePlatform::SetToggle(int vk, bool on) {
    vk &= 0xFF;
    keyState[vk] = static_cast<std::uint8_t>((keyState[vk] & 0xFE) | (on ? 1 : 0));
}

void FakePlatform::UseGermanLayout() {
    impl_->germanLayout = true;
}
void FakePlatform::UseUsLayout() {
    impl_->germanLayout = false;
}

std::int16_t FakePlatform::GetKeyState(int vk) {
    std::uint8_t s = keyState[vk & 0xFF];
    return static_cast<std::int16_t>(((s & 0x80) ? 0xFF80 : 0) | (s & 0x01));
}

std::int16_t FakePlatform::GetAsyncKeyState(int vk) {
    return static_cast<std::int16_t>((asyncState[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

bool FakePlatform::GetKeyboardState(std::uint8_t state[256]) {
    std::memcpy(state, keyState, 256);
    return true;
}

bool FakePlatform::SetKeyboardState(const std::uint8_t state[256]) {
    std::memcpy(keyState, state, 256);
    return true;
}

namespace {

// The virtual key an injected event stands for; 0 for a Unicode character.
int VkOfInput(FakePlatform& fake, const KeyInput& input) {
    if (input.dwFlags & KEYEVENTF_UNICODE) return 0;
    if (input.dwFlags & KEYEVENTF_SCANCODE) {
        std::uint32_t scan = input.wScan;
        if (input.dwFlags & KEYEVENTF_EXTENDEDKEY) scan |= 0xE000;
        return static_cast<int>(fake.MapVirtualKeyW(scan, MAPVK_VSC_TO_VK_EX));
    }
    return input.wVk & 0xFF;
}

void Type(FakePlatform& fake, char16_t ch) {
    if (ch == u'\b') {
        if (!fake.typed.empty()) fake.typed.pop_back();
    } else if (ch != 0) {
        fake.typed += ch;
    }
}

bool ShiftLocks(const FakePlatform& fake) {
    const auto v = fake.GetRegValue(HKEY_CURRENT_USER, u"Keyboard Layout", u"Attributes");
    return v && v->type == REG_DWORD && v->data.size() == 4 && (v->data[2] & 0x01);
}

// The German layout's dead keys: ^ (plain), ´ (plain) and ` (Shift) wait for the next
// character; a vowel takes the accent, Space gives the accent alone, anything else
// follows the accent.
char16_t DeadKeyOf(int vk, const std::uint8_t* state, bool german) {
    if (!german || (state[VK_CONTROL] & 0x80) || (state[VK_MENU] & 0x80)) return 0;
    const bool shift = state[VK_SHIFT] & 0x80;
    if (vk == 0xDC && !shift) return u'^';
    if (vk == 0xDD) return shift ? u'`' : 0xB4;
    return 0;
}

char16_t Compose(char16_t accent, char16_t ch) {
    static const std::u16string vowels = u"aeiouAEIOU";
    const std::size_t i = vowels.find(ch);
    if (i == std::u16string::npos) return 0;
    static const std::u16string circumflex = u"\u00E2\u00EA\u00EE\u00F4\u00FB\u00C2\u00CA\u00CE\u00D4\u00DB";
    static const std::u16string acute = u"\u00E1\u00E9\u00ED\u00F3\u00FA\u00C1\u00C9\u00CD\u00D3\u00DA";
    static const std::u16string grave = u"\u00E0\u00E8\u00EC\u00F2\u00F9\u00C0\u00C8\u00CC\u00D2\u00D9";
    const std::u16string& table = accent == u'^' ? circumflex : accent == u'`' ? grave : acute;
    return table[i];
}

// A key press typing into the edit, with the layout's dead keys.
void TypeKey(FakePlatform& fake, int vk, bool german) {
    const char16_t dead = DeadKeyOf(vk, fake.keyState, german);
    const char16_t ch = dead ? 0 : TypedChar(vk, fake.keyState, german);
    if (fake.pendingDeadKey != 0) {
        if (dead == 0 && ch == 0) return;  // keys without a character leave it pending
        const char16_t accent = fake.pendingDeadKey;
        fake.pendingDeadKey = 0;
        if (ch == u' ') {
            Type(fake, accent);
            return;
        }
        if (const char16_t composed = Compose(accent, ch)) {
            Type(fake, composed);
            return;
        }
        Type(fake, accent);
    }
    if (dead) {
        fake.pendingDeadKey = dead;
        return;
    }
    Type(fake, ch);
}

// The event as the thread reads it: its key state changes and its character is typed.
void Apply(FakePlatform& fake, const KeyInput& input, bool german, bool typeIt = true) {
    const int vk = VkOfInput(fake, input);
    const bool down = !(input.dwFlags & KEYEVENTF_KEYUP);
    if (vk == 0) {
        if (down && typeIt && (input.dwFlags & KEYEVENTF_UNICODE)) Type(fake, input.wScan);
        return;
    }
    bool extended = (input.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0;
    bool rightAlt = vk == VK_RMENU || (vk == VK_MENU && extended);
    if (rightAlt && fake.altGrAddsLeftCtrl && german) {
        KeyInput ctrl;
        ctrl.wVk = VK_LCONTROL;
        ctrl.wScan = 0x21D;
        ctrl.dwFlags = input.dwFlags & KEYEVENTF_KEYUP;
        ApplyKey(fake.keyState, VK_LCONTROL, down, false);
        ApplyKey(fake.asyncState, VK_LCONTROL, down, false);
        if (fake.onInject) fake.onInject(ctrl);
    }
    if (down && IsLockKey(vk) && !(fake.keyState[vk] & 0x80)) fake.keyState[vk] ^= 0x01;
    // "Caps Lock off with Shift" (the layout attribute KLF_SHIFTLOCK): Shift ends Caps Lock.
    if (down && (vk == VK_SHIFT || vk == VK_LSHIFT || vk == VK_RSHIFT) && ShiftLocks(fake))
        fake.keyState[VK_CAPITAL] &= static_cast<std::uint8_t>(~0x01);
    ApplyKey(fake.keyState, vk, down, extended);
    ApplyKey(fake.asyncState, vk, down, extended);
    if (down && typeIt) TypeKey(fake, vk, german);
}

// The hook's lParam for an event: repeat count 1, scan code, extended, previous state, up.
LParam KeyData(FakePlatform& fake, int vk, const KeyInput& input) {
    // A Unicode key event: its character in the high word, whatever its direction.
    if (input.dwFlags & KEYEVENTF_UNICODE) return static_cast<LParam>(1u | (input.wScan << 16));
    const bool down = !(input.dwFlags & KEYEVENTF_KEYUP);
    const std::uint32_t scan = input.wScan & 0xFFu;
    std::uint32_t data = 1u | (scan << 16);
    if (input.dwFlags & KEYEVENTF_EXTENDEDKEY) data |= 1u << 24;
    if (vk != 0 && (fake.keyState[vk] & 0x80)) data |= 1u << 30;
    if (!down) data |= 0xC0000000u;
    return static_cast<LParam>(data);
}

}  // namespace

LResult FakePlatform::DeliverKey(const KeyInput& input, const KeyboardHook& hook) {
    const LResult swallowed = DeliverOne(input, hook);
    if (!draining_) {
        // Events injected meanwhile wait in the queue behind this one.
        draining_ = true;
        while (!queued_.empty()) {
            const KeyInput next = queued_.front();
            queued_.erase(queued_.begin());
            DeliverOne(next, hook);
        }
        draining_ = false;
    }
    return swallowed;
}

LResult FakePlatform::DeliverOne(const KeyInput& input, const KeyboardHook& hook) {
    const bool german = impl_->germanLayout;
    const int vk = VkOfInput(*this, input);
    const LParam lParam = KeyData(*this, vk, input);
    // The key state reaches the hook before or after the event (Windows leaves the order
    // open; under Wine it comes before); the event counts either way, swallowed or not.
    if (snapshotHoldsPress) Apply(*this, input, german, false);
    delivering_ = true;
    const LResult swallowed = hook(HC_ACTION, static_cast<WParam>(vk == 0 ? 0xE7 : vk), lParam);
    delivering_ = false;
    if (!snapshotHoldsPress) Apply(*this, input, german, false);
    if (!swallowed && !(input.dwFlags & KEYEVENTF_KEYUP)) {
        if (vk == 0) {
            if (input.dwFlags & KEYEVENTF_UNICODE) Type(*this, input.wScan);
        } else {
            TypeKey(*this, vk, german);
        }
    }
    return swallowed;
}

namespace {

// The thread's state takes a key: lock keys toggle on the press.
void ApplyToThread(FakePlatform& fake, int vk, bool down, bool extended) {
    if (down && IsLockKey(vk) && !(fake.keyState[vk] & 0x80)) fake.keyState[vk] ^= 0x01;
    ApplyKey(fake.keyState, vk, down, extended);
}

// A key event reaches a thread's input queue (queueInput): the async state takes it at
// once, the thread's state when the program reads it.
void Arrive(FakePlatform& fake, int vk, std::uint16_t scan, bool down, bool extended,
            bool injected, char16_t ch = 0) {
    if (vk != VK_PACKET) ApplyKey(fake.asyncState, vk, down, extended);
    fake.inputQueue.push_back({static_cast<std::uint8_t>(vk), scan, down, extended, injected, ch});
}

void Inject(FakePlatform& fake, const KeyInput& input, bool viaKeybdEvent, bool german,
            std::vector<KeyInput>* queue) {
    fake.injected.push_back({input, viaKeybdEvent});
    const int vk = VkOfInput(fake, input);
    if (queue) {
        queue->push_back(input);
    } else if (fake.queueInput && vk != 0) {
        const bool down = !(input.dwFlags & KEYEVENTF_KEYUP);
        const bool extended = (input.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0;
        if ((vk == VK_RMENU || (vk == VK_MENU && extended)) && fake.altGrAddsLeftCtrl && german) {
            KeyInput ctrl;
            ctrl.wVk = VK_LCONTROL;
            ctrl.wScan = 0x21D;
            ctrl.dwFlags = input.dwFlags & KEYEVENTF_KEYUP;
            Arrive(fake, VK_LCONTROL, 0x1D, down, false, true);
            if (fake.onInject) fake.onInject(ctrl);
        }
        Arrive(fake, vk, input.wScan, down, extended, true);
    } else if (fake.queueInput && (input.dwFlags & KEYEVENTF_UNICODE)) {
        // As Windows posts it: VK_PACKET, the character's low byte as scan code.
        Arrive(fake, VK_PACKET, input.wScan & 0xFF, !(input.dwFlags & KEYEVENTF_KEYUP), false,
               true, input.wScan);
    } else if (!fake.queueInput) {
        Apply(fake, input, german);
    }
    if (fake.onInject) fake.onInject(input);
}

}  // namespace

void FakePlatform::QueueUserKey(int vk, bool down, bool extended) {
    std::uint32_t scan = ScanOf(static_cast<std::uint32_t>(vk), impl_->germanLayout);
    if (extended) scan |= 0xE000;
    Arrive(*this, vk & 0xFF, static_cast<std::uint16_t>(scan), down, extended, false);
}

bool FakePlatform::ReadInput(const std::function<void(WParam, LParam)>& hook) {
    if (inputQueue.empty()) return false;
    const QueuedKey key = inputQueue.front();
    inputQueue.erase(inputQueue.begin());
    int generic = key.vk;
    if (generic == VK_LSHIFT || generic == VK_RSHIFT) generic = VK_SHIFT;
    if (generic == VK_LCONTROL || generic == VK_RCONTROL) generic = VK_CONTROL;
    if (generic == VK_LMENU || generic == VK_RMENU) generic = VK_MENU;
    const bool extended =
        key.extended || key.vk == VK_RCONTROL || key.vk == VK_RMENU || (key.scan & 0xE000);
    std::uint32_t lParam = 1u | (static_cast<std::uint32_t>(key.scan & 0xFF) << 16);
    if (extended) lParam |= 1u << 24;
    if (keyState[key.vk] & 0x80) lParam |= 1u << 30;
    if (!key.down) lParam |= 0xC0000000u;
    if (key.vk == VK_PACKET) lParam = 1u | (static_cast<std::uint32_t>(key.ch) << 16);
    if (hook) hook(static_cast<WParam>(generic), static_cast<LParam>(lParam));
    if (key.vk != VK_PACKET) ApplyToThread(*this, key.vk, key.down, extended);
    return true;
}

std::uint32_t FakePlatform::SendInput(const KeyInput& input) {
    if (failInjection) return 0;
    Inject(*this, input, false, impl_->germanLayout, delivering_ ? &queued_ : nullptr);
    return 1;
}

std::uint32_t FakePlatform::SendInputArray(const std::vector<KeyInput>& inputs) {
    ++injectCalls;
    if (failInjection) return 0;
    for (const KeyInput& input : inputs)
        Inject(*this, input, false, impl_->germanLayout, delivering_ ? &queued_ : nullptr);
    return static_cast<std::uint32_t>(inputs.size());
}

void FakePlatform::keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                               std::uintptr_t extraInfo) {
    KeyInput input;
    input.wVk = vk;
    input.wScan = scan;
    input.dwFlags = flags;
    input.dwExtraInfo = extraInfo;
    Inject(*this, input, true, impl_->germanLayout, delivering_ ? &queued_ : nullptr);
}

std::uint32_t FakePlatform::MapVirtualKeyW(std::uint32_t code, std::uint32_t mapType) {
    bool german = impl_->germanLayout;
    switch (mapType) {
        case MAPVK_VK_TO_VSC:
            return ScanOf(code, german) & 0xFF;
        case MAPVK_VK_TO_VSC_EX:
            return ScanOf(code, german);
        case MAPVK_VSC_TO_VK:
            return VkOfScan(code & 0xFF, false, german);
        case MAPVK_VSC_TO_VK_EX:
            return VkOfScan(code, true, german);
        case MAPVK_VK_TO_CHAR:
            return CharOf(code, german);
        default:
            return 0;
    }
}

std::int16_t FakePlatform::VkKeyScanW(char16_t ch) {
    return ScanChar(ch, impl_->germanLayout);
}

std::u16string FakePlatform::GetKeyNameTextW(std::int32_t lParam, int size) {
    if (size <= 0) return u"";
    auto bits = static_cast<std::uint32_t>(lParam);
    std::int32_t key = static_cast<std::int32_t>(((bits >> 16) & 0xFF) | ((bits >> 24) & 1) << 8);
    auto it = keyNameTexts.find(key);
    if (it == keyNameTexts.end()) return u"";
    return it->second.substr(0, static_cast<std::size_t>(size - 1));
}

// ---------------------------------------------------------------- windows scene
HWnd FakePlatform::AddWindow(const std::u16string& className, const std::u16string& title,
                             MessageHandler handler, HWnd parent) {
    HWnd wnd = impl_->nextWnd;
    impl_->nextWnd += 0x10;
    impl_->windows[wnd] = FakeWindow{className, title, std::move(handler), parent, false};
    return wnd;
}

void FakePlatform::RemoveWindow(HWnd wnd) {
    impl_->windows.erase(wnd);
    // destroying a window destroys its children
    std::vector<HWnd> children;
    for (const auto& w : impl_->windows)
        if (w.second.parent == wnd) children.push_back(w.first);
    for (HWnd child : children) RemoveWindow(child);
    if (focus == wnd) focus = 0;
}

void FakePlatform::SetHung(HWnd wnd, bool hung) {
    auto it = impl_->windows.find(wnd);
    if (it != impl_->windows.end()) it->second.hung = hung;
}

void FakePlatform::SetAnswerDelay(HWnd wnd, std::uint32_t ms) {
    auto it = impl_->windows.find(wnd);
    if (it != impl_->windows.end()) it->second.answerMs = ms;
}

// ---------------------------------------------------------------- windows calls
HWnd FakePlatform::FindWindowW(const std::u16string& className, const std::u16string& title) {
    ++counts.windows;
    for (const auto& w : impl_->windows)
        if (w.second.parent == 0 && SameText(w.second.className, className) &&
            SameText(w.second.title, title))
            return w.first;
    return 0;
}

LResult FakePlatform::SendMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    ++counts.messages;
    auto it = impl_->windows.find(wnd);
    if (it == impl_->windows.end()) {
        lastError_ = kErrorInvalidWindowHandle;
        return 0;
    }
    sent.push_back({wnd, msg, wParam, lParam});
    // copy: the handler may remove its own window
    MessageHandler handler = it->second.handler;
    return handler ? handler(wnd, msg, wParam, lParam) : 0;
}

bool FakePlatform::SendMessageTimeoutW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                       std::uint32_t /*flags*/, std::uint32_t timeoutMs,
                                       LResult* result) {
    ++counts.messages;
    auto it = impl_->windows.find(wnd);
    if (it == impl_->windows.end()) {
        lastError_ = kErrorInvalidWindowHandle;
        return false;
    }
    sent.push_back({wnd, msg, wParam, lParam});
    if (it->second.hung) {
        lastError_ = kErrorTimeout;
        return false;
    }
    if (it->second.answerMs > 0) {
        const std::uint32_t delay = it->second.answerMs;
        tickCount += delay < timeoutMs ? delay : timeoutMs;
        if (delay > timeoutMs) {
            lastError_ = kErrorTimeout;
            return false;
        }
    }
    MessageHandler handler = it->second.handler;
    LResult r = handler ? handler(wnd, msg, wParam, lParam) : 0;
    if (result) *result = r;
    return true;
}

bool FakePlatform::PostMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    ++counts.messages;
    // a null window posts to the calling thread's own queue, which always works
    if (wnd != 0 && impl_->windows.find(wnd) == impl_->windows.end()) {
        lastError_ = kErrorInvalidWindowHandle;
        return false;
    }
    posted.push_back({wnd, msg, wParam, lParam});
    return true;
}

HWnd FakePlatform::GetForegroundWindow() {
    return foreground;
}

std::uint32_t FakePlatform::GetWindowThreadProcessId(HWnd wnd, std::uint32_t* processId) {
    if (impl_->windows.find(wnd) == impl_->windows.end()) {
        lastError_ = kErrorInvalidWindowHandle;
        if (processId) *processId = 0;
        return 0;
    }
    auto other = windowProcesses.find(wnd);
    std::uint32_t pid = other == windowProcesses.end() ? currentProcessId : other->second;
    if (processId) *processId = pid;
    return pid + 1;
}

bool FakePlatform::PostThreadMessageW(std::uint32_t threadId, std::uint32_t msg, WParam, LParam) {
    ++counts.messages;
    for (auto& p : processes)
        if (p.tid == threadId && p.running) {
            p.threadMessages.push_back(msg);
            if (msg == WM_QUIT && !processesIgnoreQuit) p.running = false;
            return true;
        }
    lastError_ = 1444;  // ERROR_INVALID_THREAD_ID
    return false;
}

HWnd FakePlatform::GetFocus() {
    return focus;
}

HWnd FakePlatform::GetParent(HWnd wnd) {
    auto it = impl_->windows.find(wnd);
    if (it == impl_->windows.end()) {
        lastError_ = kErrorInvalidWindowHandle;
        return 0;
    }
    return it->second.parent;
}

bool FakePlatform::IsChild(HWnd parent, HWnd wnd) {
    for (int depth = 0; depth < 1000; ++depth) {
        auto it = impl_->windows.find(wnd);
        if (it == impl_->windows.end() || it->second.parent == 0) return false;
        if (it->second.parent == parent) return true;
        wnd = it->second.parent;
    }
    return false;
}

int FakePlatform::MessageBoxW(HWnd owner, const std::u16string& text, const std::u16string& caption,
                              std::uint32_t type) {
    messageBoxes.push_back({owner, text, caption, type});
    return messageBoxResult;
}

bool FakePlatform::MessageBeep(std::uint32_t type) {
    messageBeeps.push_back(type);
    return true;
}

HHook FakePlatform::SetWindowsHookExW(int /*idHook*/, HInstance /*module*/,
                                      std::uint32_t /*threadId*/) {
    if (failSetHook) {
        lastError_ = ERROR_ACCESS_DENIED;
        return 0;
    }
    HHook hook = impl_->nextHook;
    impl_->nextHook += 2;
    hooks.insert(hook);
    lastError_ = 0;
    return hook;
}

bool FakePlatform::UnhookWindowsHookEx(HHook hook) {
    if (hook == 0 || hooks.erase(hook) == 0) {
        lastError_ = kErrorInvalidHookHandle;
        return false;
    }
    return true;
}

LResult FakePlatform::CallNextHookEx(HHook hook, int code, WParam wParam, LParam lParam) {
    nextHookCalls.push_back({hook, code, wParam, lParam});
    return nextHookResult;
}

// ---------------------------------------------------------------- system
std::uint32_t FakePlatform::GetLastError() {
    return lastError_;
}

std::uint32_t FakePlatform::GetVersionExW_PlatformId() {
    return platformId;
}

void FakePlatform::OutputDebugStringW(const std::u16string& text) {
    ++counts.debugLines;
    debugOutput.push_back(text);
}

bool FakePlatform::IsDebuggerPresent() {
    return debuggerPresent;
}

Handle FakePlatform::CreateFileMappingW(std::uint32_t size, const std::u16string& name) {
    if (!name.empty()) {
        auto it = impl_->mappingNames.find(name);
        if (it != impl_->mappingNames.end()) {
            if (auto existing = it->second.lock()) {
                Handle h = impl_->nextHandle;
                impl_->nextHandle += 4;
                impl_->handles[h] = KernelHandle{existing, u""};
                lastError_ = ERROR_ALREADY_EXISTS;
                return h;
            }
        }
        if (mutexes.count(name)) {  // one namespace for all named kernel objects
            lastError_ = ERROR_INVALID_HANDLE;
            return 0;
        }
    }
    if (size == 0) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto mapping = std::make_shared<MappingObject>();
    mapping->name = name;
    mapping->bytes.assign((size + kPageSize - 1) / kPageSize * kPageSize, 0);
    if (!name.empty()) impl_->mappingNames[name] = mapping;
    Handle h = impl_->nextHandle;
    impl_->nextHandle += 4;
    impl_->handles[h] = KernelHandle{mapping, u""};
    lastError_ = 0;
    return h;
}

Handle FakePlatform::OpenFileMappingW(const std::u16string& name) {
    auto it = impl_->mappingNames.find(name);
    std::shared_ptr<MappingObject> mapping;
    if (it != impl_->mappingNames.end()) mapping = it->second.lock();
    if (!mapping) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    Handle h = impl_->nextHandle;
    impl_->nextHandle += 4;
    impl_->handles[h] = KernelHandle{mapping, u""};
    return h;
}

void* FakePlatform::MapViewOfFile(Handle mapping) {
    auto it = impl_->handles.find(mapping);
    if (it == impl_->handles.end() || !it->second.mapping) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (failMapView) {
        lastError_ = kErrorNotEnoughMemory;
        return nullptr;
    }
    void* view = it->second.mapping->bytes.data();
    auto& v = impl_->views[view];
    v.mapping = it->second.mapping;
    ++v.count;
    return view;
}

bool FakePlatform::VirtualQuery(const void* address, MemoryRegion* region) {
    const auto a = reinterpret_cast<std::uintptr_t>(address);
    for (const auto& [view, v] : impl_->views) {
        const auto base = reinterpret_cast<std::uintptr_t>(view);
        const std::size_t size = v.mapping->bytes.size();
        if (a < base || a >= base + size) continue;
        const std::uintptr_t page = base + (a - base) / kPageSize * kPageSize;
        if (region) {
            region->baseAddress = page;
            region->regionSize = base + size - page;
            region->state = v.mapping->reserved ? MEM_RESERVE : MEM_COMMIT;
            region->protect = v.mapping->reserved ? 0 : PAGE_READWRITE;
        }
        return true;
    }
    // The rest of the address space: committed memory of the process (its stack, heap
    // and image), one page at a time.
    if (region) {
        region->baseAddress = a / kPageSize * kPageSize;
        region->regionSize = kPageSize;
        region->state = MEM_COMMIT;
        region->protect = PAGE_READWRITE;
    }
    return true;
}

void FakePlatform::AddReservedMapping(std::uint32_t size, const std::u16string& name) {
    auto mapping = std::make_shared<MappingObject>();
    mapping->name = name;
    mapping->bytes.assign((size + kPageSize - 1) / kPageSize * kPageSize, 0);
    mapping->reserved = true;
    impl_->mappingNames[name] = mapping;
    impl_->keptMappings.push_back(mapping);
}

bool FakePlatform::UnmapViewOfFile(void* view) {
    auto it = impl_->views.find(view);
    if (failUnmapView || it == impl_->views.end()) {
        lastError_ = kErrorInvalidAddress;
        return false;
    }
    if (--it->second.count == 0) impl_->views.erase(it);
    return true;
}

bool FakePlatform::CloseHandle(Handle h) {
    auto it = impl_->handles.find(h);
    if (failCloseHandle || it == impl_->handles.end()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (it->second.process < 0 && !it->second.mapping && !it->second.mutexName.empty()) {
        auto m = mutexes.find(it->second.mutexName);
        if (m != mutexes.end() && --m->second <= 0) mutexes.erase(m);
    }
    impl_->handles.erase(it);
    return true;
}

int FakePlatform::OpenHandles() const {
    return static_cast<int>(impl_->handles.size());
}

int FakePlatform::MappedViews() const {
    int n = 0;
    for (const auto& v : impl_->views) n += v.second.count;
    return n;
}

std::uint32_t FakePlatform::GetEnvironmentVariableW(const std::u16string& name,
                                                    std::u16string* value, std::uint32_t size) {
    const std::u16string* found = nullptr;
    for (const auto& e : environment)
        if (SameText(e.first, name)) {
            found = &e.second;
            break;
        }
    if (!found) {
        lastError_ = ERROR_ENVVAR_NOT_FOUND;
        return 0;
    }
    // Success leaves the last error alone; an empty value reads as 0 and copies nothing.
    auto len = static_cast<std::uint32_t>(found->size());
    if (!value || size <= len) return len + 1;
    if (len) *value = *found;
    return len;
}

std::uint32_t FakePlatform::GetTickCount() {
    return tickCount;
}

void FakePlatform::Sleep(std::uint32_t ms) {
    sleeps.push_back(ms);
    tickCount += ms;
}

void FakePlatform::GetLocalTime(SystemTime* st) {
    if (st) *st = localTime;
}

std::u16string FakePlatform::GetLocaleInfoW(std::uint32_t lcType) {
    auto it = localeInfo.find(lcType);
    if (it == localeInfo.end()) {
        lastError_ = kErrorInvalidFlags;
        return u"";
    }
    return it->second;
}

std::u16string FakePlatform::GetModuleFileNameW() {
    return moduleFileName;
}

bool FakePlatform::ShellExecuteExW(const ShellExecuteInfo& info) {
    shellExecutes.push_back(info);
    bool ok = shellExecuteResult ? shellExecuteResult(info) : true;
    if (!ok) lastError_ = ERROR_FILE_NOT_FOUND;
    return ok;
}

std::uint32_t FakePlatform::GetCurrentThreadId() {
    return currentThreadId;
}

std::uint32_t FakePlatform::GetCurrentProcessId() {
    return currentProcessId;
}

std::uint32_t FakePlatform::GetFileAttributesW(const std::u16string& path) {
    for (const auto& f : files)
        if (SameText(f, path)) return 0x80;  // FILE_ATTRIBUTE_NORMAL
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
}

bool FakePlatform::MoveFileExW(const std::u16string& from, const std::u16string& to,
                               std::uint32_t flags) {
    const std::filesystem::path source(ToUtf8(from)), target(ToUtf8(to));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // Windows replaces a file only when asked to, and never a folder.
    if (std::filesystem::exists(target, ec) &&
        (!(flags & MOVEFILE_REPLACE_EXISTING) || std::filesystem::is_directory(target, ec))) {
        lastError_ = static_cast<std::uint32_t>(
            (flags & MOVEFILE_REPLACE_EXISTING) ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
        return false;
    }
    std::filesystem::rename(source, target, ec);
    if (ec) {
        lastError_ = ERROR_ACCESS_DENIED;
        return false;
    }
    return true;
}

bool FakePlatform::CreateProcessW(const std::u16string& commandLine, ProcessInfo* info) {
    // The program is the quoted first word, or the text up to the first blank.
    std::u16string program;
    if (!commandLine.empty() && commandLine[0] == u'"') {
        std::size_t end = commandLine.find(u'"', 1);
        program = commandLine.substr(1, end == std::u16string::npos ? end : end - 1);
    } else {
        program = commandLine.substr(0, commandLine.find(u' '));
    }
    if (failCreateProcess || GetFileAttributesW(program) == INVALID_FILE_ATTRIBUTES) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        return false;
    }
    StartedProcess p;
    p.commandLine = commandLine;
    p.pid = 0x2000 + 4 * static_cast<std::uint32_t>(processes.size());
    p.tid = p.pid + 1;
    processes.push_back(p);
    Handle h = impl_->nextHandle;
    impl_->nextHandle += 4;
    KernelHandle k;
    k.process = static_cast<int>(processes.size() - 1);
    impl_->handles[h] = k;
    if (info) {
        info->hProcess = h;
        info->dwProcessId = p.pid;
        info->dwThreadId = p.tid;
    }
    return true;
}

bool FakePlatform::TerminateProcess(Handle process, std::uint32_t /*exitCode*/) {
    auto it = impl_->handles.find(process);
    if (it == impl_->handles.end() || it->second.process < 0) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    StartedProcess& p = processes[static_cast<std::size_t>(it->second.process)];
    if (!p.running) {  // Windows refuses to end a process that has ended
        lastError_ = ERROR_ACCESS_DENIED;
        return false;
    }
    p.running = false;
    p.terminated = true;
    return true;
}

Handle FakePlatform::CreateMutexW(bool /*initialOwner*/, const std::u16string& name) {
    Handle h = impl_->nextHandle;
    impl_->nextHandle += 4;
    if (name.empty()) {
        impl_->handles[h] = KernelHandle{nullptr, u""};
        lastError_ = 0;
        return h;
    }
    if (impl_->mappingNames.count(name) && impl_->mappingNames[name].lock()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (mutexesDenied.count(name)) {
        lastError_ = ERROR_ACCESS_DENIED;
        return 0;
    }
    int& count = mutexes[name];
    lastError_ = count > 0 ? ERROR_ALREADY_EXISTS : 0;
    ++count;
    impl_->handles[h] = KernelHandle{nullptr, name};
    return h;
}

std::vector<std::uint8_t> FakePlatform::Sid(std::uint8_t authority,
                                            std::initializer_list<std::uint32_t> subAuthorities) {
    std::vector<std::uint8_t> sid = {
        1, static_cast<std::uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
    for (std::uint32_t sub : subAuthorities)
        for (int i = 0; i < 4; ++i) sid.push_back(static_cast<std::uint8_t>(sub >> (8 * i)));
    return sid;
}

bool FakePlatform::OpenThreadToken(bool /*openAsSelf*/, Handle* token) {
    if (failOpenToken || !threadImpersonates) {
        lastError_ = failOpenToken ? failOpenToken : ERROR_NO_TOKEN;
        return false;
    }
    return OpenProcessToken(token);
}

bool FakePlatform::OpenProcessToken(Handle* token) {
    if (failOpenToken) {
        lastError_ = failOpenToken;
        return false;
    }
    if (!token) {
        lastError_ = kErrorNoAccess;
        return false;
    }
    Handle h = impl_->nextHandle;
    impl_->nextHandle += 4;
    impl_->handles[h] = KernelHandle{nullptr, u"", true};
    *token = h;
    return true;
}

bool FakePlatform::GetTokenInformation_Groups(Handle token, std::uint32_t size,
                                              std::vector<TokenGroup>* groups,
                                              std::uint32_t* needed) {
    auto it = impl_->handles.find(token);
    if (it == impl_->handles.end() || !it->second.token) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    if (failTokenGroups) {
        lastError_ = failTokenGroups;
        return false;
    }
    // TOKEN_GROUPS of a 64-bit process: the count (padded to 8), one SID_AND_ATTRIBUTES
    // of 16 bytes per group, then the SIDs.
    std::uint32_t need = 8;
    for (const TokenGroup& g : tokenGroups) need += 16 + static_cast<std::uint32_t>(g.sid.size());
    if (needed) *needed = need;
    if (size < need) {
        lastError_ = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    if (groups) *groups = tokenGroups;
    return true;
}

namespace {
// Ownership is the object's: an unnamed mutex is known by its handle.
std::u16string MutexKey(Handle h, const KernelHandle& k) {
    if (!k.mutexName.empty()) return k.mutexName;
    std::u16string key = u"#";
    for (char c : std::to_string(h)) key.push_back(static_cast<char16_t>(c));
    return key;
}
}  // namespace

std::uint32_t FakePlatform::WaitForSingleObject(Handle h, std::uint32_t timeoutMs) {
    auto it = impl_->handles.find(h);
    if (it == impl_->handles.end() || it->second.mapping || it->second.token) {
        lastError_ = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (it->second.process >= 0) {  // a process is signalled once it has ended
        if (!processes[static_cast<std::size_t>(it->second.process)].running) return WAIT_OBJECT_0;
        tickCount += timeoutMs;
        return WAIT_TIMEOUT;
    }
    if (!it->second.mutexName.empty() && mutexesHeldElsewhere.count(it->second.mutexName)) {
        tickCount += timeoutMs;
        return WAIT_TIMEOUT;
    }
    ++impl_->ownedMutexes[MutexKey(h, it->second)];
    return WAIT_OBJECT_0;
}

bool FakePlatform::ReleaseMutex(Handle h) {
    auto it = impl_->handles.find(h);
    if (it == impl_->handles.end() || it->second.mapping || it->second.token) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    auto owned = impl_->ownedMutexes.find(MutexKey(h, it->second));
    if (owned == impl_->ownedMutexes.end()) {
        lastError_ = ERROR_NOT_OWNER;
        return false;
    }
    if (--owned->second == 0) impl_->ownedMutexes.erase(owned);
    return true;
}

bool FakePlatform::MutexOwned(const std::u16string& name) const {
    return impl_->ownedMutexes.count(name) != 0;
}

bool FakePlatform::PlaySoundW(const std::u16string& sound, std::uint32_t flags) {
    playedSounds.emplace_back(sound, flags);
    return true;
}

bool FakePlatform::Beep(std::uint32_t freq, std::uint32_t durationMs) {
    // Windows refuses frequencies outside 37..32767 Hz
    if (freq < 37 || freq > 32767) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    beepTones.push_back({freq, durationMs, tickCount});
    if (!beepReturnsAtOnce) tickCount += durationMs;
    return true;
}

bool FakePlatform::CanAccessPorts() {
    return canAccessPorts;
}

std::uint8_t FakePlatform::ReadPort(std::uint16_t port) {
    auto it = ports.find(port);
    return it == ports.end() ? 0 : it->second;
}

void FakePlatform::WritePort(std::uint16_t port, std::uint8_t value) {
    ports[port] = value;
    portWrites.emplace_back(port, value);
}

}  // namespace vt
