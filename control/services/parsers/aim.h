// Labels on a byte stream: framing by a suffix over reads of any size, and the
// symbology identifier ("]cm") a scanner puts in front of each label. Pure
// functions and a small state machine; no I/O.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::control::aim {

enum class Suffix { CR, LF, CRLF };

// Cuts a byte stream into labels at the suffix. Bytes arrive in pieces of any
// size; a suffix split across two pieces still ends one label. Empty frames
// (a suffix alone, as line noise or a CR LF sender on a CR line makes) are
// not labels: with suffix CR a LF that follows it is dropped, with suffix LF a
// CR in front of it is dropped.
class Framer {
public:
  // Longest label kept; a longer run without suffix is dropped as an overrun.
  static constexpr size_t kMaxLabel = 64 * 1024;

  explicit Framer(Suffix suffix, size_t maxLabel = kMaxLabel) : m_suffix(suffix), m_maxLabel(maxLabel) {}

  struct Output {
    std::vector<std::string> labels; // complete labels, suffix removed, in order
    size_t overruns = 0;             // runs longer than the longest label, dropped
  };
  Output Feed(std::string_view bytes);

  // Bytes of a label begun but not ended yet.
  bool Pending() const { return !m_buffer.empty(); }
  size_t PendingSize() const { return m_buffer.size(); }
  // Throws away the pending bytes (a label cut short); returns how many.
  size_t DropPending();

private:
  void End(Output &out);

  Suffix m_suffix;
  size_t m_maxLabel;
  std::string m_buffer;
  bool m_afterCr = false; // the previous byte was a CR (CR LF, LF suffixes)
  bool m_skipLf = false;  // suffix CR: a LF right after it is not data
  bool m_overrun = false; // dropping the rest of an over-long run
};

// A label split into its identifier, symbology and decoded data.
struct Decoded {
  long type = 0;    // ScanDataType; 0 when unknown
  std::string data; // the label without identifier
};

// Decodes a label that starts with a symbology identifier. A label without a
// well-formed identifier keeps all its bytes as data with type 0; a
// well-formed identifier of a symbology not known here gives type 0 and the
// data after it.
Decoded DecodeAim(std::string_view label);

// The suffix named by a configuration text ("CR", "LF", "CRLF"); false when unknown.
bool ParseSuffix(std::wstring_view text, Suffix &suffix);

} // namespace quillon::control::aim
