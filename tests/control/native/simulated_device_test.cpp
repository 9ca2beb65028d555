// The simulated device apart from its thread and window: injection (bounded,
// stopping when refused or closed), statistics across a reset of the
// settings, Direct IO over the attributes.
#include "control/core/opos.h"
#include "control/inject/protocol.h"
#include "control/services/simulated_device.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace quillon;
using namespace quillon::control;

// A sink that takes input until it is told to refuse.
class Sink final : public IServiceSink {
public:
  bool OnLabel(Label label) override {
    ++offers;
    if (refuseAfter >= 0 && labels >= refuseAfter) return false;
    ++labels;
    last = label.raw;
    if (onLabel) onLabel();
    return true;
  }
  void OnPowerState(long powerState) override { power = powerState; }
  bool OnInputError(long, long) override { return ++errors, true; }
  bool OnStatusUpdate(long) override {
    if (refuseAfter >= 0 && statuses >= refuseAfter) return false;
    ++statuses;
    if (onStatus) onStatus();
    return true;
  }
  bool OnDirectIOEvent(long, long, std::wstring) override { return true; }
  bool InputEnabled() override { return true; }

  std::atomic<long long> labels{0}, statuses{0}, offers{0};
  long long refuseAfter = -1;
  long power = 0;
  int errors = 0;
  std::string last;
  std::function<void()> onLabel, onStatus;
};

class Store final : public ISimulatedStore {
public:
  std::map<std::wstring, long long> LoadStatistics() override { return statistics; }
  void SaveStatistics(const std::map<std::wstring, long long> &values) override { statistics = values; }
  std::map<int, std::wstring> LoadAttributes() override { return attributes; }
  bool StoreAttribute(int id, const std::wstring &value) override {
    attributes[id] = value;
    return true;
  }
  std::map<std::wstring, long long> statistics;
  std::map<int, std::wstring> attributes;
};

SimulatedSettings Full() {
  ServiceConfig config;
  config.deviceName = L"QuillonSim";
  config.numbers = {{L"PowerReporting", 2}, {L"Statistics", 1}, {L"DirectIO", 1}};
  return SimulatedSettings::From(config);
}

long long Send(SimulatedDevice &d, std::uint32_t command, std::int32_t value, std::int32_t extra = 0,
               std::int32_t first = 1) {
  const inject::Numbers n{value, extra, first};
  return d.Inject(command, &n, sizeof n);
}

struct SimRig {
  Sink sink;
  Store store;
  fake::Clock clock;
  SimulatedDevice device{Full(), sink, clock, store};
  SimRig() { device.SetEnabled(true); }
};

TEST(Injection, BurstNumbersItsLabelsAndStopsWhenRefused) {
  SimRig r;
  EXPECT_EQ(3, Send(r.device, inject::Burst, 3, 110, 41));
  EXPECT_EQ("QB00000043", r.sink.last);
  r.sink.refuseAfter = 10;
  EXPECT_EQ(7, Send(r.device, inject::Burst, SimulatedDevice::kMaxRepeat, 110));
  EXPECT_EQ(10, r.sink.labels);
  EXPECT_EQ(11, r.sink.offers) << "no label is offered after the first refusal";
  EXPECT_EQ(0, Send(r.device, inject::Burst, SimulatedDevice::kMaxRepeat + 1)) << "beyond the bound: refused";
  EXPECT_EQ(0, Send(r.device, inject::Burst, -1));
}

TEST(Injection, FloodStopsWhenRefusedAndIsBounded) {
  SimRig r;
  EXPECT_EQ(1, Send(r.device, inject::Flood, 500, 2001));
  r.sink.refuseAfter = 1000;
  EXPECT_EQ(0, Send(r.device, inject::Flood, 2000000000, 2001)) << "the bound, not two billion events";
  EXPECT_EQ(0, Send(r.device, inject::Flood, SimulatedDevice::kMaxRepeat, 2001)) << "refused part of the way";
  EXPECT_EQ(1000, r.sink.statuses) << "nothing offered after the refusal";
}

// Closing the device ends an injection loop in progress.
TEST(Injection, StopEndsALoopInProgress) {
  SimRig r;
  r.sink.onStatus = [&] {
    if (r.sink.statuses == 100) r.device.Stop();
  };
  EXPECT_EQ(0, Send(r.device, inject::Flood, SimulatedDevice::kMaxRepeat, 2001));
  EXPECT_EQ(100, r.sink.statuses);
  EXPECT_EQ(0, Send(r.device, inject::Burst, 10)) << "and no input after it";
  EXPECT_EQ(0, r.sink.labels);
}

TEST(Injection, LabelPayloadsAndShortOnes) {
  SimRig r;
  std::string payload;
  for (const std::string &raw : {std::string("]E04006381333931"), std::string("X")}) {
    const inject::LabelRecord rec{104, static_cast<std::uint32_t>(raw.size()), 1};
    payload.append(reinterpret_cast<const char *>(&rec), sizeof rec);
    payload += raw + "4";
  }
  EXPECT_EQ(2, r.device.Inject(inject::Labels, payload.data(), payload.size()));
  EXPECT_EQ(1, r.device.Inject(inject::Labels, payload.data(), payload.size() - 1)) << "a record cut short ends it";
  EXPECT_EQ(0, r.device.Inject(inject::Power, payload.data(), 4)) << "too short for its numbers";
  EXPECT_EQ(0, r.device.Inject(inject::Labels, nullptr, 100));
  EXPECT_EQ(1, Send(r.device, inject::Power, 2003));
  EXPECT_EQ(2003, r.sink.power);
  EXPECT_EQ(0, Send(r.device, inject::Burst, 1)) << "an offline scanner reads nothing";
}

// Direct IO 502 (back to the stored settings) leaves the statistics alone:
// it neither counts the hours since Open twice nor loses counts made meanwhile.
TEST(Statistics, ResetToStoredSettingsKeepsTheStatistics) {
  SimRig r;
  r.store.statistics = {{L"HoursPoweredCount", 5}};
  SimulatedDevice device(Full(), r.sink, r.clock, r.store);
  r.clock.now += 2 * 3600000;
  device.SaveStatistics(); // as an Update does
  long data = 0;
  std::wstring text;
  ASSERT_EQ(0, device.DirectIO(502, data, text, true));
  std::wstring reply = L"HoursPoweredCount";
  device.RetrieveStatistics(reply);
  EXPECT_NE(std::wstring::npos, reply.find(L"<Value>7</Value>")) << "5 stored + 2 since Open";

  std::atomic<bool> done{false};
  std::thread counter([&] {
    for (int i = 0; i < 20000; ++i)
      device.LabelDelivered();
    done = true;
  });
  while (!done)
    device.DirectIO(502, data, text, true);
  counter.join();
  reply = L"GoodScanCount";
  device.RetrieveStatistics(reply);
  EXPECT_NE(std::wstring::npos, reply.find(L"<Value>20000</Value>")) << "no count lost";
}

TEST(Statistics, BadUpdatesChangeNothing) {
  SimRig r;
  for (int i = 0; i < 3; ++i)
    r.device.LabelDelivered();
  for (const wchar_t *bad : {L"GoodScanCount=1,NoSuch=2", L"GoodScanCount=1,,", L""})
    EXPECT_NE(0, r.device.UpdateStatistics(bad).code) << bad;
  std::wstring reply = L"GoodScanCount";
  r.device.RetrieveStatistics(reply);
  EXPECT_NE(std::wstring::npos, reply.find(L"<Value>3</Value>"));
  EXPECT_EQ(0, r.device.UpdateStatistics(L"GoodScanCount=41").code);
  EXPECT_EQ(41, r.store.statistics.at(L"GoodScanCount")) << "an update is stored at once";
}

TEST(DirectIO, SetIsVolatileStoreIsKept) {
  SimRig r;
  auto set = [&](long command, const wchar_t *id, const wchar_t *type, const wchar_t *value) {
    long data = -1;
    std::wstring text =
        std::wstring(L"<inArgs><scannerID>1</scannerID><cmdArgs><arg-xml><attrib_list><attribute><id>") + id +
        L"</id><datatype>" + type + L"</datatype><value>" + value +
        L"</value></attribute></attrib_list></arg-xml></cmdArgs></inArgs>";
    return r.device.DirectIO(command, data, text, true);
  };
  EXPECT_EQ(0, set(5004, L"140", L"B", L"7"));
  EXPECT_EQ(0, set(5005, L"2", L"F", L"False"));
  EXPECT_EQ(L"False", r.store.attributes.at(2));
  EXPECT_EQ(106, set(5004, L"140", L"B", L"300"));
  long data = 0;
  std::wstring none;
  EXPECT_EQ(0, r.device.DirectIO(502, data, none, true));
  std::wstring get = L"<inArgs><scannerID>1</scannerID><cmdArgs><arg-xml><attrib_list>140,2</attrib_list>"
                     L"</arg-xml></cmdArgs></inArgs>";
  EXPECT_EQ(0, r.device.DirectIO(5001, data, get, true));
  EXPECT_NE(std::wstring::npos, get.find(L"<value>1</value>")) << "the volume back to its initial value";
  EXPECT_NE(std::wstring::npos, get.find(L"<value>False</value>")) << "the stored flag kept";
}

} // namespace
