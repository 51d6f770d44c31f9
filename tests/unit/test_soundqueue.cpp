// The tray program's sound queue: bounded, the oldest waiting sound goes first.
#include <doctest/doctest.h>

#include "tray/Vantor32.SoundQueue.h"

using namespace vt;

TEST_CASE("sound queue: a burst keeps the newest sounds in their order, the oldest are dropped") {
    TSoundQueue queue;
    std::size_t dropped = 0;
    for (std::uint8_t e = 1; e <= 10; ++e) dropped += queue.Push(e);
    CHECK(dropped == 10 - kSoundQueueLength);
    CHECK(queue.Size() == kSoundQueueLength);
    std::uint8_t expected = static_cast<std::uint8_t>(10 - kSoundQueueLength + 1);
    while (!queue.Empty()) CHECK(queue.Pop() == expected++);
    CHECK(expected == 11);
    // below the bound nothing is dropped
    CHECK(queue.Push(3) == 0);
    CHECK(queue.Push(4) == 0);
    CHECK(queue.Pop() == 3);
    queue.Clear();
    CHECK(queue.Empty());
}
