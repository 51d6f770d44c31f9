// The message pump the tray program and its companion share: both wait for an object
// and their queue at once, so each dispatches what is queued when the queue wakes it.
#pragma once

#include <windows.h>

// Dispatches the queued messages; false once WM_QUIT arrives (msg then holds it).
inline bool PumpMessages(MSG& msg) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}
