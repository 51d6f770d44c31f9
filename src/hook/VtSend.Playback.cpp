// VtSend: which events the hook sees are the library's own, per input thread.
//
// Every sequence the library injects (a text, or a user's key sent again) goes into the
// input stream in one SendInput call, bracketed by the marker key with a tag of its own
// in the scan code. Windows inserts such a call whole, with nothing of the user's among
// its events, and delivers it to the focused thread in order. So on the injecting thread:
// - a key that arrives while a sequence is pending but before its marker was queued
//   before it (typed after the trigger, before the program read the trigger): it is held
//   back, that is swallowed and injected again behind everything pending, and converted
//   when it comes back, in typed order;
// - between a text's markers every event is the text's own; one that is not (under Wine,
//   whose SendInput inserts event by event, a key typed at that moment) is held back too;
// - a marker of a later sequence means the earlier ones went elsewhere (the focus moved,
//   another program's hook ate them): they are forgotten.
// Nothing here depends on how long the program takes to read its input.
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "../common/DebugWindowInterface.h"
#include "../common/Vantor.Common.h"
#include "Vt32Util.h"
#include "VtSend.Batch.h"
#include "VtSend.h"

namespace vt {

namespace {

struct RSequence {
    std::uint16_t tag = 0;
    bool typed = true;  // a text of the library's; false: a user's key sent again
    bool started = false;
    std::vector<RExpectedKey> keys;
    std::size_t next = 0;
    bool lastWasRightAlt = false;
};

struct RThreadPlayback {
    std::deque<RSequence> pending;  // in the order they were injected
    bool inside = false;            // between the markers of pending.front()
    std::int32_t counter = 0;
    std::uint16_t nextTag = 0;
    int heldSinceProgress = 0;      // keys held back since one of our markers last arrived
    std::uint32_t progressTick = 0;
    TInputBatch* batch = nullptr;
    // Unicode key events (VK_PACKET) carry their character where the release bit would
    // be, so their direction is told by pairs: the first event of a character is its press.
    std::map<char16_t, bool> packetsDown;
    bool lastPacketDown = true;
};

// Sequences pending at once on one thread; beyond, keys are no longer held back (a
// program that reads nothing while someone types on and on).
constexpr std::size_t kMaxPending = 200;
// Injected events that never come back (another program's low-level hook eats them):
// after this many keys held back and this long without any of our markers arriving,
// holding back stops until the next text.
constexpr int kLostAfterKeys = 64;
constexpr std::uint32_t kLostAfterMs = 2000;

// The state of each input thread of this process. Each thread touches only its own entry;
// the lock guards the map itself, held for the look-up only.
std::mutex gThreadsLock;
std::map<std::uint32_t, std::unique_ptr<RThreadPlayback>>& Threads() {
    static auto* threads = new std::map<std::uint32_t, std::unique_ptr<RThreadPlayback>>();
    return *threads;
}

RThreadPlayback& ThisThread() {
    const std::uint32_t tid = Plat().GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(gThreadsLock);
    auto& threads = Threads();
    auto it = threads.find(tid);
    if (it != threads.end()) return *it->second;
    // Threads end without telling a hook library; a thread with nothing pending loses
    // nothing when its entry goes.
    if (threads.size() >= 64) {
        for (auto i = threads.begin(); i != threads.end();) {
            i = i->second->pending.empty() && !i->second->batch ? threads.erase(i) : std::next(i);
        }
    }
    auto state = std::make_unique<RThreadPlayback>();
    state->nextTag = static_cast<std::uint16_t>((tid * 37u) % 511u);
    return *threads.emplace(tid, std::move(state)).first->second;
}

std::uint16_t NewTag(RThreadPlayback& st) {
    for (int tries = 0; tries < 512; ++tries) {
        st.nextTag = static_cast<std::uint16_t>(st.nextTag % 511u + 1u);  // 1 .. 511
        if ((st.nextTag & 0xFF) == 0) continue;  // scan code 0 is what other markers carry
        const std::uint16_t tag = st.nextTag;
        if (std::none_of(st.pending.begin(), st.pending.end(),
                         [tag](const RSequence& s) { return s.tag == tag; }))
            return tag;
    }
    return st.nextTag;
}

std::uint8_t GenericKey(std::uint16_t vk) {
    switch (vk) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            return VK_SHIFT;
        case VK_LCONTROL:
        case VK_RCONTROL:
            return VK_CONTROL;
        case VK_LMENU:
        case VK_RMENU:
            return VK_MENU;
        default:
            return static_cast<std::uint8_t>(vk);
    }
}

bool IsLockKey(std::uint16_t vk) {
    return vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL;
}

bool AnyTextBehind(const RThreadPlayback& st) {
    return std::any_of(st.pending.begin() + 1, st.pending.end(),
                       [](const RSequence& s) { return s.typed; });
}

// One event of the text being read: the next one expected, or the left Ctrl that Windows
// puts in front of (or behind) a right Alt event on layouts with AltGr.
bool TakeExpected(RSequence& s, std::uint8_t vk, bool down, bool extended) {
    if (s.next < s.keys.size() && s.keys[s.next].vk == vk &&
        (s.keys[s.next].down == down || vk == VK_PACKET)) {
        s.lastWasRightAlt = s.keys[s.next].rightAlt;
        ++s.next;
        return true;
    }
    if (vk == VK_CONTROL && !extended) {
        const bool beforeRightAlt =
            s.next < s.keys.size() && s.keys[s.next].rightAlt && s.keys[s.next].down == down;
        const bool afterRightAlt =
            s.lastWasRightAlt && s.next > 0 && s.keys[s.next - 1].down == down;
        if (beforeRightAlt || afterRightAlt) {
            s.lastWasRightAlt = false;
            return true;
        }
    }
    return false;
}

void Forget(RThreadPlayback& st, std::size_t count) {
    if (count == 0) return;
    DebugLog(u"KeyboardProc: %d injected sequence(s) went elsewhere", static_cast<int>(count));
    st.pending.erase(st.pending.begin(), st.pending.begin() + static_cast<long>(count));
    st.inside = false;
}

}  // namespace

std::int32_t& PlaybackCounter() {
    return ThisThread().counter;
}

bool PlaybackActive() {
    const RThreadPlayback& st = ThisThread();
    return st.inside && !st.pending.empty() && st.pending.front().typed;
}

void ResetPlayback() {
    std::lock_guard<std::mutex> lock(gThreadsLock);
    Threads().clear();
}

AKeyOrigin TrackKeyEvent(WParam wParam, LParam lParam) {
    RThreadPlayback& st = ThisThread();
    const auto vk = static_cast<std::uint16_t>(wParam & 0xFFFF);
    const auto data = static_cast<std::uint32_t>(lParam);
    bool down = (data & 0x80000000u) == 0;
    const bool extended = (data & (1u << 24)) != 0;
    if (vk == VK_PACKET) {
        const auto ch = static_cast<char16_t>(data >> 16);
        auto it = st.packetsDown.find(ch);
        down = it == st.packetsDown.end();
        if (down) {
            if (st.packetsDown.size() < 64) st.packetsDown.emplace(ch, true);
        } else {
            st.packetsDown.erase(it);
        }
        st.lastPacketDown = down;
    }
    if (st.pending.empty()) return ORIGIN_USER;

    if (vk == PlaybackMarker) {
        const auto tag = static_cast<std::uint16_t>(((data >> 16) & 0xFF) | (extended ? 0x100 : 0));
        auto it = std::find_if(st.pending.begin(), st.pending.end(),
                               [tag](const RSequence& s) { return s.tag == tag; });
        if (it != st.pending.end()) {
            Forget(st, static_cast<std::size_t>(it - st.pending.begin()));
            st.progressTick = Plat().GetTickCount();
            st.heldSinceProgress = 0;
            if (down) {
                st.pending.front().started = true;
                st.inside = true;
            } else {
                st.pending.pop_front();
                st.inside = false;
            }
            return ORIGIN_TEXT;
        }
        // A key of the keyboard that reports the marker's code: the user's.
    }

    if (st.inside) {
        RSequence& s = st.pending.front();
        if (!s.typed) {
            // The user's key back from its trip. A text that a key typed before it made
            // is still on its way: it waits once more.
            return AnyTextBehind(st) && !IsLockKey(vk) ? ORIGIN_HOLD : ORIGIN_USER;
        }
        if (TakeExpected(s, GenericKey(vk), down, extended)) return ORIGIN_TEXT;
    }

    // Windows toggles a lock when its press is read, swallowed or not: sent again it would
    // toggle twice. It is taken where it is.
    if (IsLockKey(vk)) return ORIGIN_USER;
    if (st.pending.size() >= kMaxPending) return ORIGIN_USER;
    if (st.heldSinceProgress >= kLostAfterKeys &&
        Plat().GetTickCount() - st.progressTick >= kLostAfterMs) {
        DebugLog(u"KeyboardProc: injected keys do not come back; holding back stops");
        st.pending.clear();
        st.inside = false;
        return ORIGIN_USER;
    }
    return ORIGIN_HOLD;
}

bool HoldBackKey(WParam wParam, LParam lParam) {
    const auto vk = static_cast<std::uint16_t>(wParam & 0xFFFF);
    const auto data = static_cast<std::uint32_t>(lParam);
    const bool extended = (data & (1u << 24)) != 0;
    const std::uint32_t scan = (data >> 16) & 0xFF;
    KeyInput input;
    input.dwFlags = (data & 0x80000000u) ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_PACKET) {
        // A Unicode key event (on-screen keyboards, password managers): its character
        // is the high word of the message's flags.
        input.wScan = static_cast<std::uint16_t>(data >> 16);
        input.dwFlags = KEYEVENTF_UNICODE | (ThisThread().lastPacketDown ? 0 : KEYEVENTF_KEYUP);
    } else {
        if (extended) input.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        // Shift's side is in its scan code only; the sided key keeps it.
        input.wVk = vk == VK_SHIFT && scan == 0x36 ? VK_RSHIFT : vk;
        // The prefix is the flag's business: Wine would put a 0xE0 in wScan's high byte
        // into the message's flag bits, where it reads as a release.
        input.wScan = static_cast<std::uint16_t>(scan);
    }
    input.dwExtraInfo = Plat().GetTickCount();
    TInputBatch batch(false);
    batch.Add(input);
    if (batch.Send() == 0) return false;
    DebugLog(u"4.Resend\tVK:%.4x\t%s\tsc=%x", vk, KeyActionText(input.dwFlags), scan);
    ++ThisThread().heldSinceProgress;
    return true;
}

// ---------------------------------------------------------------- TInputBatch

TInputBatch::TInputBatch(bool typed) : typed_(typed) {
    RThreadPlayback& st = ThisThread();
    tag_ = NewTag(st);
    outer_ = st.batch;
    st.batch = this;
    inputs_.push_back(Marker(true));
}

TInputBatch::~TInputBatch() {
    ThisThread().batch = outer_;
}

TInputBatch* TInputBatch::Open() {
    return ThisThread().batch;
}

KeyInput TInputBatch::Marker(bool press) const {
    KeyInput marker;
    marker.wVk = PlaybackMarker;
    marker.wScan = static_cast<std::uint16_t>(tag_ & 0xFF);
    marker.dwFlags = (press ? 0 : KEYEVENTF_KEYUP) | ((tag_ & 0x100) ? KEYEVENTF_EXTENDEDKEY : 0);
    marker.dwExtraInfo = Plat().GetTickCount();
    if (typed_ && LogListening()) {
        DebugLog(u"4.AddVK\tVK:%.4x\t[%s]\t%s\tsc=%x\t%.8x", PlaybackMarker,
                 KeyName(PlaybackMarker, 0), KeyActionText(marker.dwFlags), marker.wScan, 0);
    }
    return marker;
}

void TInputBatch::Add(const KeyInput& input) {
    inputs_.push_back(input);
    RExpectedKey key;
    const bool down = (input.dwFlags & KEYEVENTF_KEYUP) == 0;
    if (input.dwFlags & KEYEVENTF_UNICODE) {
        key = {static_cast<std::uint8_t>(VK_PACKET), down, false};
    } else {
        const bool rightAlt = input.wVk == VK_RMENU ||
                              (input.wVk == VK_MENU && (input.dwFlags & KEYEVENTF_EXTENDEDKEY));
        key = {GenericKey(input.wVk), down, rightAlt};
    }
    expected_.push_back(key);
}

std::uint32_t TInputBatch::Send() {
    if (sent_) return 0;
    sent_ = true;
    inputs_.push_back(Marker(false));
    std::uint32_t inserted = 0;
    if (PlatformIsNT) {
        inserted = Plat().SendInputArray(inputs_);
    } else {
        // keybd_event takes one event at a time.
        for (const KeyInput& in : inputs_) {
            Plat().keybd_event(static_cast<std::uint8_t>(in.wVk),
                               static_cast<std::uint8_t>(in.wScan), in.dwFlags, in.dwExtraInfo);
            ++inserted;
        }
    }
    if (inserted == 0) {
        DebugLog(u"SendInput: nothing inserted (%d events)", static_cast<int>(inputs_.size()));
        return 0;
    }
    RThreadPlayback& st = ThisThread();
    if (st.pending.empty()) {
        st.heldSinceProgress = 0;
        st.progressTick = Plat().GetTickCount();
    }
    // Texts whose events never come back here (a program that reads nothing while
    // macros are typed into it): the oldest are forgotten.
    while (st.pending.size() >= kMaxPending) {
        st.pending.pop_front();
        st.inside = false;
    }
    RSequence s;
    s.tag = tag_;
    s.typed = typed_;
    s.keys = std::move(expected_);
    st.pending.push_back(std::move(s));
    return inserted;
}

}  // namespace vt
