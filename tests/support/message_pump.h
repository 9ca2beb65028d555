// Message pumping for the test thread, so that windows it owns (and events
// posted to them) make progress while a test waits.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches the thread's messages for about this many milliseconds.
void PumpMessages(DWORD milliseconds);
// Dispatches messages until done() is true (checked before every wait) or
// the timeout passes; returns done()'s last answer.
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMilliseconds);
