// Fuzz target: the simulated device's injection channel, whose payloads any
// process on the desktop can send. Any command and bytes: nothing is read
// outside the payload, the labels read are exactly the whole records at its
// start, and the device carries the command out within its bounds, offering
// nothing more once the device refuses.
#include "check.h"
#include "control/inject/protocol.h"
#include "control/services/parsers/injection.h"
#include "control/services/simulated_device.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::control;

namespace {

class Sink final : public IServiceSink {
public:
  bool OnLabel(Label label) override {
    ++offered;
    labels.push_back(std::move(label));
    return labels.size() <= kTakes;
  }
  void OnPowerState(long) override {}
  bool OnInputError(long, long) override { return true; }
  bool OnStatusUpdate(long) override { return ++offered <= kTakes; }
  bool OnDirectIOEvent(long, long, std::wstring) override { return true; }
  bool InputEnabled() override { return true; }
  static constexpr size_t kTakes = 100;
  size_t offered = 0;
  std::vector<Label> labels;
};

class Store final : public ISimulatedStore {
public:
  std::map<std::wstring, long long> LoadStatistics() override { return {}; }
  void SaveStatistics(const std::map<std::wstring, long long> &) override {}
  std::map<int, std::wstring> LoadAttributes() override { return {}; }
  bool StoreAttribute(int, const std::wstring &) override { return true; }
};

class Clock final : public IClock {
public:
  std::uint64_t NowMs() const override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::uint32_t command = data[0] % 10;
  // The payload in a buffer of its own size, so that a read past it is seen.
  std::vector<char> payload(data + 1, data + size);
  const void *bytes = payload.empty() ? nullptr : payload.data();

  std::string again;
  injection::LabelReader reader(bytes, payload.size());
  Label label;
  size_t count = 0;
  while (reader.Next(label)) {
    const inject::LabelRecord rec{static_cast<std::int32_t>(label.type), static_cast<std::uint32_t>(label.raw.size()),
                                  static_cast<std::uint32_t>(label.data.size())};
    again.append(reinterpret_cast<const char *>(&rec), sizeof rec);
    again += label.raw + label.data;
    ++count;
  }
  CHECK(reader.Consumed() <= payload.size());
  CHECK(again.size() <= payload.size() && std::equal(again.begin(), again.end(), payload.begin()));

  ServiceConfig config;
  config.deviceName = L"Fuzz";
  Sink sink;
  Store store;
  Clock clock;
  SimulatedDevice device(SimulatedSettings::From(config), sink, clock, store);
  device.SetEnabled(true);
  const long long reply = device.Inject(command, bytes, payload.size());
  CHECK(reply >= 0);
  CHECK(sink.offered <= Sink::kTakes + 1); // nothing offered after a refusal
  if (command == inject::Labels) {
    CHECK(sink.labels.size() == std::min(count, Sink::kTakes + 1));
    CHECK(reply == static_cast<long long>(std::min(count, Sink::kTakes)));
  }
  if (command == inject::Burst) CHECK(reply <= static_cast<long long>(Sink::kTakes));
  return 0;
}
