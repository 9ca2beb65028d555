// The client side of the injection channel (protocol.h): finds the injection
// windows of an open simulated device, builds label payloads and sends
// commands. Every program that feeds a simulated device uses it: scaninject,
// QuillonCheck, the benchmark, the console driver and the control's tests.
#pragma once

#include "control/inject/protocol.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::inject {

// The injection window of every process that has the device open.
std::vector<HWND> FindWindows(const wchar_t *device);
// The first of them; null while no process has the device open.
HWND FindFirstWindow(const wchar_t *device);

// Appends one label to a Labels payload: raw are the bytes the scanner sent,
// data the decoded label.
void AppendLabel(std::string &payload, std::int32_t type, std::string_view data, std::string_view raw);
// A payload of one label.
std::string LabelPayload(std::int32_t type, std::string_view data, std::string_view raw);

// How long a sender waits for the device's answer: kWaitForever sends with
// SendMessage and waits as long as the device takes; anything else waits at
// most that many milliseconds (SendMessageTimeout with the flags given).
inline constexpr DWORD kWaitForever = INFINITE;
struct Wait {
  DWORD milliseconds = kWaitForever;
  UINT flags = SMTO_NORMAL;
};

// What became of one command.
struct Delivery {
  bool delivered = false; // the device answered (without a time-out: the window was there)
  LRESULT reply = 0;      // its answer (see protocol.h); 0 when not delivered
  DWORD error = 0;        // why it was not delivered (GetLastError); may be 0 on a time-out
};

// Sends one command with its payload to one injection window; a null window
// is not delivered to.
Delivery Send(HWND window, Command command, const void *data, std::size_t size, Wait wait = {});
inline Delivery Send(HWND window, Command command, std::string_view payload, Wait wait = {}) {
  return Send(window, command, payload.data(), payload.size(), wait);
}
// Sends a command whose payload is Numbers.
Delivery SendNumbers(HWND window, Command command, std::int32_t value, std::int32_t extra = 0, std::int32_t first = 0,
                     Wait wait = {});

} // namespace quillon::inject
