#pragma once

// The tool's message loop, run by a test until something has happened.

#include <functional>

#include "platform/win32.h"

// Timer ids that the tests' window procedures leave alone.
constexpr UINT_PTR WATCHDOG_TIMER_ID = 99;
constexpr UINT_PTR LOOK_AGAIN_TIMER_ID = 98;

// Runs the loop (GetMessageA, IsDialogMessageA, TranslateMessage,
// DispatchMessageA) until `done` holds, the quit message comes, or
// `limit_ms` pass. `done` is asked after every message, and at least every
// 20 ms, since input that FLTK handles itself posts nothing. Returns whether
// `done` held.
inline bool pump_messages_until(HWND dialog, const std::function<bool()>& done, UINT limit_ms) {
    SetTimer(dialog, WATCHDOG_TIMER_ID, limit_ms, nullptr);
    SetTimer(dialog, LOOK_AGAIN_TIMER_ID, 20, nullptr);
    MSG message;
    bool held = false;
    while (!held && GetMessageA(&message, nullptr, 0, 0) > 0) {
        const bool ours = message.message == WM_TIMER && message.hwnd == dialog;
        if (ours && message.wParam == WATCHDOG_TIMER_ID) {
            break;
        }
        if (!(ours && message.wParam == LOOK_AGAIN_TIMER_ID) &&
            (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message))) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        held = done();
    }
    if (IsWindow(dialog)) {
        KillTimer(dialog, WATCHDOG_TIMER_ID);
        KillTimer(dialog, LOOK_AGAIN_TIMER_ID);
    }
    return held || done();
}

// Runs the loop for `duration_ms`, to let the window draw and take input.
inline void pump_messages_for(HWND dialog, UINT duration_ms) {
    pump_messages_until(dialog, [] { return false; }, duration_ms);
}
