// PCSpk: the PC speaker. Where the platform lets a program reach the I/O ports the tone
// is programmed on the 8254's channel 2 and port 61h; elsewhere (NT) the system's beep
// service plays it.
#pragma once

#include <cstdint>
#include <memory>

namespace vt {

class TPCSpeaker {
public:
    void Play(std::uint16_t freq, std::int32_t msecs);
    void Stop();
    void Delay(std::int32_t msecs);
    void Sound(std::uint16_t freq);
    void NoSound();
    std::uint8_t ReadPort(std::uint16_t port);
    void WritePort(std::uint16_t port, std::uint16_t value);
};

extern std::unique_ptr<TPCSpeaker> Speaker;

void PCSpkInit();
void PCSpkDone();

}  // namespace vt
