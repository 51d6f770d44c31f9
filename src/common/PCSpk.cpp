#include "PCSpk.h"

#include "../platform/Platform.h"

namespace vt {

std::unique_ptr<TPCSpeaker> Speaker;

namespace {

constexpr std::uint16_t kTimerChannel2 = 0x42;
constexpr std::uint16_t kTimerControl = 0x43;
constexpr std::uint16_t kSystemControl = 0x61;
constexpr std::uint8_t kSpeakerBits = 0x03;  // bit 0 timer gate, bit 1 speaker data
constexpr std::uint8_t kChannel2SquareWave = 0xB6;
constexpr std::uint32_t kTimerClock = 1193181;
// Below this the divisor no longer fits the timer's 16-bit counter.
constexpr std::uint16_t kMinFreq = 19;

}  // namespace

void TPCSpeaker::Play(std::uint16_t freq, std::int32_t msecs) {
    if (Plat().CanAccessPorts()) {
        Sound(freq);
        Delay(msecs);
        NoSound();
        return;
    }
    // NT keeps the ports from user programs; the system's beep plays the tone and waits.
    if (freq < kMinFreq || msecs <= 0) {
        Delay(msecs);
        return;
    }
    // Beep refuses some frequencies the timer could play; keep the rhythm with silence.
    const std::uint32_t start = Plat().GetTickCount();
    if (!Plat().Beep(freq, static_cast<std::uint32_t>(msecs))) {
        Delay(msecs);
        return;
    }
    // Some systems return from Beep at once (Wine does): the tones of a sequence would run
    // together, so the rest of the duration is waited out here.
    const std::uint32_t elapsed = Plat().GetTickCount() - start;
    if (elapsed < static_cast<std::uint32_t>(msecs))
        Delay(msecs - static_cast<std::int32_t>(elapsed));
}

void TPCSpeaker::Stop() {
    NoSound();
}

void TPCSpeaker::Delay(std::int32_t msecs) {
    if (msecs > 0) Plat().Sleep(static_cast<std::uint32_t>(msecs));
}

void TPCSpeaker::Sound(std::uint16_t freq) {
    if (freq < kMinFreq) return;
    std::uint32_t divisor = kTimerClock / freq;
    std::uint8_t v = ReadPort(kSystemControl);
    if ((v & kSpeakerBits) == 0) {
        WritePort(kSystemControl, v | kSpeakerBits);
        WritePort(kTimerControl, kChannel2SquareWave);
    }
    WritePort(kTimerChannel2, divisor & 0xFF);
    WritePort(kTimerChannel2, (divisor >> 8) & 0xFF);
}

void TPCSpeaker::NoSound() {
    std::uint8_t v = ReadPort(kSystemControl);
    WritePort(kSystemControl, v & 0xFC);
}

// A port instruction where the system forbids it ends the process: ask first.
std::uint8_t TPCSpeaker::ReadPort(std::uint16_t port) {
    if (!Plat().CanAccessPorts()) return 0;
    return Plat().ReadPort(port);
}

void TPCSpeaker::WritePort(std::uint16_t port, std::uint16_t value) {
    if (!Plat().CanAccessPorts()) return;
    Plat().WritePort(port, static_cast<std::uint8_t>(value & 0xFF));
}

void PCSpkInit() {
    Speaker = std::make_unique<TPCSpeaker>();
}

void PCSpkDone() {
    Speaker.reset();
}

}  // namespace vt
