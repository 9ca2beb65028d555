// The injection channel of the simulated scanner. Each open simulated device
// owns a message-only window of class kInjectClass whose title is the device
// name; another process finds it with FindWindowEx(HWND_MESSAGE, ...) and
// sends it WM_COPYDATA. dwData is the command, lpData its payload, and the
// reply of SendMessage is the number of labels taken (label commands) or
// 1 for a command carried out, 0 for one refused. Senders use the client in
// client.h rather than this by hand.
#pragma once

#include <cstdint>

namespace quillon::inject {

inline constexpr wchar_t kInjectClass[] = L"QuillonSimulatedScannerInjector";

enum Command : std::uint32_t {
  // Payload: a sequence of LabelRecord, each followed by rawLength raw bytes
  // and then dataLength decoded bytes.
  Labels = 1,
  // Payload: Numbers{value = power state 2001..2004}.
  Power = 2,
  // Payload: Numbers{value = result code, extra = extended code}.
  Error = 3,
  // Payload: Numbers{value = count, extra = type, first = first number}:
  // labels "QB" followed by an eight-digit sequence number.
  Burst = 4,
  // Payload: Numbers{value = result code, extra = extended code}: the next
  // method call on the control fails with it.
  FailNext = 5,
  // Payload: Numbers{value = length}: texts the device answers with are padded
  // to this many characters (0 switches it off).
  LongStrings = 6,
  // Payload: Numbers{value = count, extra = status}: that many StatusUpdateEvents.
  Flood = 7,
  // Payload: none. Reply: QueryBits of the device.
  Query = 8,
};

enum QueryBits : std::uint32_t { QueryOpen = 1, QueryEnabled = 2 };

struct LabelRecord {
  std::int32_t type;
  std::uint32_t rawLength;
  std::uint32_t dataLength;
};

struct Numbers {
  std::int32_t value;
  std::int32_t extra;
  std::int32_t first;
};

} // namespace quillon::inject
