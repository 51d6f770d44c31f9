#include "Vantor32.SoundQueue.h"

namespace vt {

std::size_t TSoundQueue::Push(std::uint8_t event) {
    if (capacity_ == 0) return 1;
    std::size_t dropped = 0;
    while (events_.size() >= capacity_) {
        events_.pop_front();
        ++dropped;
    }
    events_.push_back(event);
    return dropped;
}

std::uint8_t TSoundQueue::Pop() {
    const std::uint8_t event = events_.front();
    events_.pop_front();
    return event;
}

}  // namespace vt
