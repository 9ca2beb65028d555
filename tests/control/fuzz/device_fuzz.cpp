// Fuzz target: the device core driven by a random sequence of the
// application's calls, arriving input and deliveries, beside a model of what
// UnifiedPOS says each step does. After every step: the result code is the
// one UnifiedPOS gives that call in that state, ResultCode says the same,
// DataCount is the number of labels queued, no label is delivered twice or out
// of order, the properties read back as the steps left them, and the service
// is enabled exactly while the device is.
#include "check.h"
#include "fakes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <string>

using namespace quillon;
using namespace quillon::control;

namespace {

constexpr size_t kQueueEvents = 16;

struct Queued {
  EventKind kind;
  long id; // Data: the label's number
};

struct Model {
  bool open = false;
  Capabilities caps;
  bool claimed = false, enabled = false, autoDisable = false, dataEventEnabled = false, freezeEvents = false,
       decodeData = false;
  long binaryConversion = 0, powerNotify = 0, state = 1, powerState = 2000;
  std::deque<Queued> input, other;
  std::deque<std::pair<bool, Queued>> order; // every queued event, input or not, in the order raised
  int containerFreeze = 0;
  bool faultPending = false;
  long nextLabel = 1, lastDelivered = 0;

  long DataCount() const {
    long n = 0;
    for (const Queued &q : input)
      n += q.kind == EventKind::Data;
    return n;
  }
  void ClearInput() {
    input.clear();
    std::erase_if(order, [](const auto &e) { return e.first; });
  }
  void Close() {
    *this = Model{.containerFreeze = containerFreeze,
                  .faultPending = faultPending,
                  .nextLabel = nextLabel,
                  .lastDelivered = lastDelivered};
  }
  long Map(long power) const { return caps.powerReporting == 1 && (power == 2002 || power == 2003) ? 2004 : power; }
  void QueueOther(EventKind kind) {
    if (other.size() >= kQueueEvents) return;
    other.push_back({kind, 0});
    order.push_back({false, other.back()});
  }
};

std::wstring Converted(const std::string &s, long conversion) {
  std::wstring out;
  for (const unsigned char c : s) {
    if (conversion == 1) {
      out += static_cast<wchar_t>(0x30 + (c >> 4));
      out += static_cast<wchar_t>(0x30 + (c & 15));
    } else if (conversion == 2) {
      out += static_cast<wchar_t>(L'0' + c / 100);
      out += static_cast<wchar_t>(L'0' + c / 10 % 10);
      out += static_cast<wchar_t>(L'0' + c % 10);
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

class Run {
public:
  Run() : m_device({m_directory, m_claim, m_wakeup, m_target, {kQueueEvents, 1 << 20}}) {
    m_target.device = &m_device;
    m_target.onEvent = [this](const fake::Event &e) { OnEvent(e); };
  }

  void Step(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 23)) {
    case 0: {
      static const wchar_t *const names[] = {L"Full", L"Plain", L"Standard", L"BadService", L"Nope"};
      const int i = in.ConsumeIntegralInRange<int>(0, 4);
      Method(m_device.Open(names[i]), OpenCode(i), false);
      break;
    }
    case 1: {
      const long expect = m.open ? 0 : 101;
      Method(m_device.Close(), expect, false);
      if (expect == 0) m.Close();
      break;
    }
    case 2: {
      const long timeout = in.PickValueInArray({-2L, -1L, 0L, 50L});
      long expect = !m.open ? 101 : timeout < -1 ? 106 : m.claimed ? 0 : m_claim.otherHolder ? 112 : 0;
      if (Method(m_device.ClaimDevice(timeout), expect) && expect == 0) m.claimed = true;
      break;
    }
    case 3: {
      const long expect = !m.open ? 101 : !m.claimed ? 106 : 0;
      if (Method(m_device.ReleaseDevice(), expect) && expect == 0) {
        m.claimed = m.enabled = false;
        m.powerState = 2000;
      }
      break;
    }
    case 4: {
      const bool on = in.ConsumeBool();
      const long expect = !m.open ? 101 : !m.claimed ? (m_claim.otherHolder ? 102 : 103) : 0;
      Put(Prop::DeviceEnabled, on, expect);
      if (expect == 0 && on && !m.enabled) {
        m.enabled = true;
        if (m.caps.powerReporting && m.powerNotify) {
          m.powerState = m.Map(m_directory.state.power);
          m.QueueOther(EventKind::Status);
        }
      } else if (expect == 0 && !on) {
        m.enabled = false;
        m.powerState = 2000;
      }
      break;
    }
    case 5:
      PutFlag(in, Prop::AutoDisable, m.autoDisable);
      break;
    case 6:
      PutFlag(in, Prop::DataEventEnabled, m.dataEventEnabled);
      break;
    case 7:
      PutFlag(in, Prop::FreezeEvents, m.freezeEvents);
      break;
    case 8:
      PutFlag(in, Prop::DecodeData, m.decodeData);
      break;
    case 9: {
      const long v = in.ConsumeIntegralInRange<long>(-1, 3);
      const long expect = !m.open ? 101 : v < 0 || v > 2 ? 106 : 0;
      Put(Prop::BinaryConversion, v, expect);
      if (expect == 0) m.binaryConversion = v;
      break;
    }
    case 10: {
      const long v = in.ConsumeIntegralInRange<long>(-1, 2);
      const bool illegal = m.enabled || (v != 0 && v != 1) || (v == 1 && m.caps.powerReporting == 0);
      const long expect = !m.open ? 101 : illegal ? 106 : 0;
      Put(Prop::PowerNotify, v, expect);
      if (expect == 0) m.powerNotify = v;
      break;
    }
    case 11: {
      const long expect = !m.open ? 101 : !m.claimed ? 103 : 0;
      if (Method(m_device.ClearInput(), expect) && expect == 0) {
        m.ClearInput();
        m.state = 2;
      }
      break;
    }
    case 12:
      Method(m_device.ClearInputProperties(), m.open ? 0 : 101);
      break;
    case 13: {
      const long level = in.ConsumeIntegralInRange<long>(0, 4);
      Method(m_device.CheckHealth(level), !m.open ? 101 : !m.enabled ? 105 : level < 1 || level > 3 ? 106 : 0);
      break;
    }
    case 14:
      Label();
      return; // input from the service's thread: the application has not looked yet
    case 15:
      if (IServiceSink *sink = m_directory.state.sink) {
        const bool taken = m.open && m.enabled && m.input.size() < kQueueEvents;
        CHECK(sink->OnInputError(111, 0) == taken);
        if (taken) {
          m.input.push_back({EventKind::Error, 0});
          m.order.push_back({true, m.input.back()});
          m.state = 4;
        }
      }
      return;
    case 16:
      if (IServiceSink *sink = m_directory.state.sink) {
        const bool taken = m.open && m.other.size() < kQueueEvents;
        CHECK(sink->OnStatusUpdate(2001) == taken);
        if (taken) m.QueueOther(EventKind::Status);
      }
      return;
    case 17: {
      const long power = in.ConsumeIntegralInRange<long>(2001, 2004);
      m_directory.state.power = power;
      if (IServiceSink *sink = m_directory.state.sink) {
        sink->OnPowerState(power);
        if (m.open && m.enabled && m.powerNotify && m.caps.powerReporting && m.Map(power) != m.powerState) {
          m.powerState = m.Map(power);
          m.QueueOther(EventKind::Status);
        }
      }
      return;
    }
    case 18:
      Deliver(in);
      break;
    case 19:
      if (in.ConsumeBool()) {
        m_device.FreezeContainerEvents(true);
        ++m.containerFreeze;
      } else {
        m_device.FreezeContainerEvents(false);
        if (m.containerFreeze > 0) --m.containerFreeze;
      }
      break;
    case 20:
      m_claim.otherHolder = !m_claim.otherHolder;
      return;
    case 21:
      m_wakeup.fail = !m_wakeup.fail;
      return;
    case 22:
      m_directory.state.fault = Result{111, 0};
      m.faultPending = true;
      return;
    case 23:
      ReadBack();
      break;
    }
    // Whatever the application did, the service is enabled exactly while the device is.
    CHECK(m_directory.state.enabled == (m.open && m.enabled));
    CHECK(m_device.Get(Prop::DataCount).number == m.DataCount());
  }

private:
  long OpenCode(int i) {
    if (m.open) return 106;
    if (i == 3) return 104;
    if (i == 4) return 109;
    m.Close();
    m.open = true;
    m.state = 2;
    m.caps.powerReporting = i == 0 ? 2 : i == 2 ? 1 : 0;
    m.caps.statisticsReporting = m.caps.updateStatistics = i == 0;
    return 0;
  }

  // A method's code: the injected fault first, for every method but Open and
  // Close. Returns whether the method itself ran.
  bool Method(long rc, long expect, bool faultApplies = true) {
    bool ran = true;
    if (faultApplies && m.faultPending && m.open) {
      expect = 111;
      m.faultPending = false;
      ran = false;
    }
    CHECK(rc == expect);
    CHECK(m_device.Get(Prop::ResultCode).number == expect);
    return ran;
  }

  void Put(Prop p, long value, long expect) {
    CHECK(m_device.Put(p, value));
    CHECK(m_device.Get(Prop::ResultCode).number == expect);
  }

  void PutFlag(FuzzedDataProvider &in, Prop p, bool &field) {
    const bool on = in.ConsumeBool();
    Put(p, on, m.open ? 0 : 101);
    if (m.open) field = on;
  }

  void Label() {
    IServiceSink *sink = m_directory.state.sink;
    if (!sink) return;
    const long id = m.nextLabel++;
    const std::string raw = "L" + std::to_string(id);
    const bool taken = m.open && m.enabled && m.input.size() < kQueueEvents;
    CHECK(sink->OnLabel(quillon::control::Label{raw, raw, 110}) == taken);
    if (!taken) return;
    m.input.push_back({EventKind::Data, id});
    m.order.push_back({true, m.input.back()});
    if (m.autoDisable) {
      m.enabled = false;
      m.powerState = 2000;
    }
  }

  void Deliver(FuzzedDataProvider &in) {
    m_policy = in.ConsumeIntegralInRange<int>(0, 3);
    m_target.errorResponse = in.ConsumeBool() ? opos::ER_CLEAR : opos::ER_CONTINUEINPUT;
    m_first = true;
    m_device.Deliver();
    while (m_wakeup.pending > 0) {
      m_wakeup.pending = 0;
      m_device.Deliver();
    }
    // Nothing that may go is left behind.
    if (m.open && !m.freezeEvents && m.containerFreeze == 0)
      CHECK(m.other.empty() && !(m.dataEventEnabled && !m.input.empty()));
  }

  // An event fired: the one the model says goes next.
  void OnEvent(const fake::Event &e) {
    CHECK(m.open && !m.freezeEvents && m.containerFreeze == 0);
    // The older of the two fronts, the input one only while DataEventEnabled.
    auto next =
        std::find_if(m.order.begin(), m.order.end(), [&](const auto &q) { return !q.first || m.dataEventEnabled; });
    CHECK(next != m.order.end());
    const bool fromInput = next->first;
    const Queued q = next->second;
    m.order.erase(next);
    (fromInput ? m.input : m.other).pop_front();
    CHECK(e.kind == q.kind);
    if (fromInput) m.dataEventEnabled = false;
    if (q.kind == EventKind::Data) {
      CHECK(q.id > m.lastDelivered); // in order, never twice
      m.lastDelivered = q.id;
      CHECK(e.dataCount == m.DataCount());
      CHECK(!e.dataEventEnabled);
      CHECK(m_device.Get(Prop::ScanData).text == Converted("L" + std::to_string(q.id), m.binaryConversion));
      CHECK(e.scanDataType == (m.decodeData ? 110 : 0));
    }
    if (q.kind == EventKind::Error) {
      // After the handler: "clear" empties the input; the state is idle again.
      m_afterError = true;
    }
    const bool first = std::exchange(m_first, false);
    if (m_policy == 1 && (q.kind == EventKind::Data || q.kind == EventKind::Error)) {
      m_device.Put(Prop::DataEventEnabled, 1);
      m.dataEventEnabled = true;
    } else if (m_policy == 2 && first) {
      m_device.Close();
      m.Close();
      m_afterError = false;
    } else if (m_policy == 3 && first) {
      m_device.FreezeContainerEvents(true);
      ++m.containerFreeze;
    }
    if (m_afterError) {
      m_afterError = false;
      if (m_target.errorResponse == opos::ER_CLEAR) m.ClearInput();
      if (m.open) m.state = 2;
    }
  }

  void ReadBack() {
    CHECK(m_device.Get(Prop::Claimed).flag == m.claimed);
    CHECK(m_device.Get(Prop::DeviceEnabled).flag == (m.open && m.enabled));
    CHECK(m_device.Get(Prop::AutoDisable).flag == m.autoDisable);
    CHECK(m_device.Get(Prop::DataEventEnabled).flag == m.dataEventEnabled);
    CHECK(m_device.Get(Prop::FreezeEvents).flag == m.freezeEvents);
    CHECK(m_device.Get(Prop::DecodeData).flag == m.decodeData);
    CHECK(m_device.Get(Prop::BinaryConversion).number == m.binaryConversion);
    CHECK(m_device.Get(Prop::PowerNotify).number == m.powerNotify);
    CHECK(m_device.Get(Prop::State).number == m.state);
    const long power = m.caps.powerReporting && m.powerNotify && m.enabled ? m.powerState : 2000;
    CHECK(m_device.Get(Prop::PowerState).number == power);
    CHECK(m_device.Get(Prop::ResultCode).number == (m.open ? 0 : 101));
  }

  fake::Directory m_directory;
  fake::Claim m_claim;
  fake::Wakeup m_wakeup;
  fake::Target m_target;
  Device m_device;
  Model m;
  int m_policy = 0;
  bool m_first = false;
  bool m_afterError = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  Run run;
  for (int steps = 0; steps < 200 && in.remaining_bytes() > 0; ++steps)
    run.Step(in);
  return 0;
}
