// The sounds waiting to be played: a bounded queue that drops the oldest. A sound can last
// minutes (a long WAV file chosen in Windows' sound settings, the longest tones the page
// "Töne" accepts) and every switch and every "Anhören" asks for one; the newest are the
// ones that still mean something when the worker gets to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace vt {

constexpr std::size_t kSoundQueueLength = 4;

class TSoundQueue {
public:
    explicit TSoundQueue(std::size_t capacity = kSoundQueueLength) : capacity_(capacity) {}
    // Queues an event; when the queue is full the oldest waiting one goes. Returns how many
    // were dropped (0 or 1).
    std::size_t Push(std::uint8_t event);
    bool Empty() const { return events_.empty(); }
    std::size_t Size() const { return events_.size(); }
    std::uint8_t Pop();  // the oldest waiting event; the queue must not be empty
    void Clear() { events_.clear(); }

private:
    std::size_t capacity_;
    std::deque<std::uint8_t> events_;
};

}  // namespace vt
