// Fuzz target: the serial line's framing and AIM decoding. Any bytes, any
// suffix, identifiers on or off, a small longest label so that over-long runs
// happen, fed in random pieces. Checked against a plain reading of the whole
// stream: every complete label arrives whole, in order, exactly once, and the
// same whatever the pieces; an over-long run is counted once; nothing held
// grows past the longest label.
#include "check.h"
#include "control/core/service.h"
#include "control/services/parsers/aim.h"
#include "control/services/serial_input.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::control;

namespace {

struct Expected {
  std::vector<std::string> labels;
  size_t overruns = 0;
};

// The stream read whole, by the rules of aim.h: frames end at the suffix; with
// suffix CR a LF right after a CR is not data; with suffix LF a CR right
// before the LF is part of the suffix; with CRLF a lone CR is data. Empty
// frames are not labels; frames longer than maxLabel are overruns, and so is
// an unended frame already longer (not counting a last CR that may begin the suffix).
Expected ReadWhole(const std::string &s, aim::Suffix suffix, size_t maxLabel) {
  Expected out;
  std::string frame;
  auto end = [&](std::string content) {
    if (content.size() > maxLabel)
      ++out.overruns;
    else if (!content.empty())
      out.labels.push_back(std::move(content));
  };
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (suffix == aim::Suffix::CR) {
      if (c == '\r') {
        end(std::move(frame));
        frame.clear();
        if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        continue;
      }
    } else if (c == '\n' && (suffix == aim::Suffix::LF || (!frame.empty() && frame.back() == '\r'))) {
      if (!frame.empty() && frame.back() == '\r') frame.pop_back();
      end(std::move(frame));
      frame.clear();
      continue;
    }
    frame += c;
  }
  size_t unended = frame.size();
  if (suffix != aim::Suffix::CR && !frame.empty() && frame.back() == '\r') --unended;
  if (unended > maxLabel) ++out.overruns;
  return out;
}

class Sink final : public IServiceSink {
public:
  bool OnLabel(Label label) override {
    raws.push_back(label.raw);
    CHECK(label.data.size() <= label.raw.size());
    return true;
  }
  void OnPowerState(long) override {}
  bool OnInputError(long, long) override { return true; }
  bool OnStatusUpdate(long) override { return true; }
  bool OnDirectIOEvent(long, long, std::wstring) override { return true; }
  bool InputEnabled() override { return true; }
  std::vector<std::string> raws;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const auto suffix = static_cast<aim::Suffix>(in.ConsumeIntegralInRange<int>(0, 2));
  const bool aimIds = in.ConsumeBool();
  const size_t maxLabel = in.ConsumeIntegralInRange<size_t>(1, 24);
  std::vector<std::string> pieces;
  std::string whole;
  while (in.remaining_bytes() > 0) {
    pieces.push_back(in.ConsumeRandomLengthString(64));
    whole += pieces.back();
  }

  aim::Framer framer(suffix, maxLabel);
  std::vector<std::string> labels;
  size_t overruns = 0;
  for (const std::string &piece : pieces) {
    aim::Framer::Output out = framer.Feed(piece);
    for (std::string &l : out.labels) {
      const aim::Decoded d = aim::DecodeAim(l);
      CHECK(d.data.size() <= l.size());
      CHECK(d.type == 0 || (l.size() >= 3 && l[0] == ']'));
      labels.push_back(std::move(l));
    }
    overruns += out.overruns;
    CHECK(framer.PendingSize() <= maxLabel + 1);
  }
  const Expected expected = ReadWhole(whole, suffix, maxLabel);
  CHECK(labels == expected.labels);
  CHECK(overruns == expected.overruns);

  // The serial service's input hands the same labels to the device.
  SerialSettings settings;
  settings.suffix = suffix;
  settings.aimIds = aimIds;
  Sink sink;
  SerialInput input(settings, sink);
  for (const std::string &piece : pieces)
    input.Bytes(piece, 0);
  CHECK(sink.raws == ReadWhole(whole, suffix, aim::Framer::kMaxLabel).labels);
  return 0;
}
