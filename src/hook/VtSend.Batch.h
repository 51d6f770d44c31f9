// VtSend: the sequences of injected events, shared by the key sender and the hook's
// tracking of them (VtSend.Playback.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "../platform/Platform.h"

namespace vt {

// One event of a sequence as the hook of the injecting thread will see it: the generic
// virtual key (Windows turns the sided modifier keys into Shift, Ctrl and Alt) and its
// direction.
struct RExpectedKey {
    std::uint8_t vk;
    bool down;
    bool rightAlt;  // Windows adds a left Ctrl event to it on layouts with AltGr
};

// The events of one sequence, collected on the injecting thread while it is built and
// put into the input stream with one SendInput call. While a batch is open on a thread,
// SendKey adds to it instead of injecting.
class TInputBatch {
public:
    // typed: one of the library's texts (passed on unconverted when it arrives);
    // otherwise a user's key sent again (converted when it arrives).
    explicit TInputBatch(bool typed);
    ~TInputBatch();
    TInputBatch(const TInputBatch&) = delete;
    TInputBatch& operator=(const TInputBatch&) = delete;

    void Add(const KeyInput& input);
    // Closes the sequence with the marker's release, injects it and, when anything was
    // inserted, records it as pending for the hook. Returns the events inserted.
    std::uint32_t Send();

    // The batch open on this thread, or null.
    static TInputBatch* Open();

private:
    KeyInput Marker(bool press) const;

    bool typed_;
    bool sent_ = false;
    std::uint16_t tag_;
    std::vector<KeyInput> inputs_;
    std::vector<RExpectedKey> expected_;
    TInputBatch* outer_;
};

}  // namespace vt
