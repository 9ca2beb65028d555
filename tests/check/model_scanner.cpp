// The model scanner's behaviour, one switch per kind of call.
#include "model_scanner.h"

#include "comkit/window_class.h"

#include <windows.h>

namespace {

const wchar_t kModelDevice[] = L"ModelScanner";
const wchar_t kWindowClass[] = L"QuillonCheckModelScanner";
constexpr UINT kDeliver = WM_APP + 1;

long LongOf(const RecordedCall &call) {
  if (call.args.empty()) return 0;
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantChangeType(&v, const_cast<VARIANT *>(&call.args[0].value.Get()), 0, VT_I4))) return 0;
  return v.lVal;
}

std::wstring TextOf(const RecordedCall &call) {
  if (call.args.empty() || call.args[0].value.vt() != VT_BSTR || !call.args[0].value.Get().bstrVal) return L"";
  return call.args[0].value.Get().bstrVal;
}

FakeAnswer Long(long v) { return FakeAnswer().Returns(v); }
FakeAnswer Bool(bool b) { return FakeAnswer().ReturnsBool(b); }
FakeAnswer Text(const std::wstring &s) { return FakeAnswer().Returns(s.c_str()); }

bool IsTextProperty(DISPID d) { return d == 13 || d == 25 || d == 27 || d == 29 || d == 30 || d == 51 || d == 52; }

} // namespace

ModelScanner::ModelScanner(FakeScannerRegistration &registration, ModelFault fault)
    : m_registration(registration), m_fault(fault) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  comkit::RegisterClassOnce(wc);
  m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_registration.Answers().Behave([this](FakeScanner &fake, const RecordedCall &call) { return Answer(fake, call); });
}

ModelScanner::~ModelScanner() {
  m_registration.Answers().Behave(nullptr);
  DestroyWindow(m_window);
}

bool ModelScanner::AnyOpenOrClaimed() const {
  for (const auto &[fake, i] : m_instances)
    if (i.open) return true;
  return m_claimOwner != nullptr || m_otherHolds;
}

LabelSource::Fed ModelScanner::Deliver(int number, int, std::wstring &why) {
  Instance *i = m_current ? &m_instances[m_current] : nullptr;
  if (!i || !i->open || !i->enabled) {
    why = L"the model device took no label while disabled";
    return Fed::Refused;
  }
  if (number % 2)
    i->queue.push_back({L"]E04006381333931", L"4006381333931", 104});
  else
    i->queue.push_back({L"]C0QUILLON-CHECK", L"QUILLON-CHECK", 110});
  ++i->dataCount;
  if (i->autoDisable && !Is(ModelFault::AutoDisableIgnored)) i->enabled = false;
  ScheduleDelivery();
  return Fed::Sent;
}

long ModelScanner::Hold(long) {
  if (m_claimOwner || m_otherHolds) return 112;
  m_otherHolds = true;
  return 0;
}

std::optional<FakeAnswer> ModelScanner::Answer(FakeScanner &fake, const RecordedCall &call) {
  Instance &i = m_instances[&fake];
  if (call.flags & DISPATCH_METHOD) {
    FakeAnswer answer;
    const long r = Method(fake, i, call, answer);
    i.resultCode = r;
    return answer.Returns(r);
  }
  if (call.flags & DISPATCH_PROPERTYPUT) {
    Put(fake, i, call.dispid, LongOf(call));
    return FakeAnswer();
  }
  return Get(fake, i, call.dispid);
}

long ModelScanner::Method(FakeScanner &fake, Instance &i, const RecordedCall &call, FakeAnswer &answer) {
  const bool claimed = m_claimOwner == &fake;
  if (call.dispid == 37) { // Open
    if (i.open) return Is(ModelFault::OpenTwiceSucceeds) ? 0 : 106;
    if (TextOf(call) != kModelDevice) return Is(ModelFault::UnknownDeviceNoService) ? 104 : 109;
    // A claim its closed holder kept goes when the device is opened again.
    if (m_claimOwner && !m_instances[m_claimOwner].open) m_claimOwner = nullptr;
    i = Instance{};
    i.open = true;
    m_current = &fake;
    return 0;
  }
  if (!i.open) return call.dispid == 33 && Is(ModelFault::ClearInputWhileClosedIllegal) ? 106 : 101;
  switch (call.dispid) {
  case 35: // Close
    if (claimed && !Is(ModelFault::CloseKeepsClaim)) m_claimOwner = nullptr;
    i = Instance{};
    return 0;
  case 32: { // ClaimDevice
    const long timeout = LongOf(call);
    if (timeout < -1 && !Is(ModelFault::NegativeTimeoutClaims)) return 106;
    if (claimed) {
      if (Is(ModelFault::InterruptedInReclaim)) g_checkInterrupted = true;
      return Is(ModelFault::ReclaimRefused) ? 112 : 0;
    }
    if ((m_otherHolds || m_claimOwner) && !Is(ModelFault::ClaimNotExclusive)) {
      if (timeout > 0 && !Is(ModelFault::ClaimTimeoutNotWaited)) Sleep(static_cast<DWORD>(timeout));
      return 112;
    }
    m_claimOwner = &fake;
    return 0;
  }
  case 38: // ReleaseDevice
    if (!claimed) return Is(ModelFault::ReleaseUnclaimedSucceeds) ? 0 : 106;
    m_claimOwner = nullptr;
    if (!Is(ModelFault::ReleaseKeepsEnabled)) i.enabled = false;
    return 0;
  case 33: // ClearInput
    if (!claimed) return Is(ModelFault::ClearInputUnclaimedSucceeds) ? 0 : 103;
    i.dataCount = 0;
    if (!Is(ModelFault::ClearInputKeepsQueue)) i.queue.clear();
    return 0;
  case 48: // ClearInputProperties
    i.scanData.clear();
    i.scanDataLabel.clear();
    if (!Is(ModelFault::ClearInputPropertiesKeepsType)) i.scanDataType = 0;
    return 0;
  case 31: { // CheckHealth
    if (!claimed) return 103;
    if (!i.enabled) return Is(ModelFault::HealthWhileDisabled) ? 0 : 105;
    const long level = LongOf(call);
    const bool textStays = Is(ModelFault::HealthTextUnchanged);
    if (level == 1 && !textStays) i.healthText = L"Internal HCheck: Successful";
    if (level == 2 && !textStays) i.healthText = L"External HCheck: Successful";
    if (level == 1 || level == 2) return 0;
    if (level == 3) {
      if (Is(ModelFault::InteractiveHealthFails)) return 111;
      i.healthText = L"Interactive HCheck: Complete";
      return 0;
    }
    if (Is(ModelFault::HangsInUnknownHealthLevel)) Sleep(1500);
    return Is(ModelFault::UnknownHealthLevelSucceeds) ? 0 : 106;
  }
  case 42: // RetrieveStatistics
    if (!claimed) return 103;
    if (!i.enabled) return 105;
    answer.ReplacesString(Statistics(TextOf(call)).c_str());
    return 0;
  case 43: // UpdateStatistics
  case 41: // ResetStatistics
    if (!claimed) return 103;
    if (!i.enabled) return 105;
    if (Is(ModelFault::UpdateWithoutCapability)) return 0;
    if (call.dispid == 43) {
      const std::wstring pair = TextOf(call);
      const size_t eq = pair.find(L'=');
      if (pair.substr(0, eq) == L"GoodScanCount" && eq != std::wstring::npos)
        m_goodScans = std::stol(pair.substr(eq + 1));
    } else if (!Is(ModelFault::ResetKeepsValue)) {
      m_goodScans = 0;
    }
    return 0;
  }
  return 0;
}

void ModelScanner::Put(FakeScanner &fake, Instance &i, DISPID dispid, long value) {
  if (!i.open) {
    i.resultCode = 101;
    return;
  }
  const bool claimed = m_claimOwner == &fake;
  const bool on = value != 0;
  long r = 0;
  switch (dispid) {
  case 17: // DeviceEnabled
    if (!claimed)
      r = on && (m_otherHolds || m_claimOwner) ? 102 : 103;
    else if (on)
      i.enabled = true;
    else if (!Is(ModelFault::DisableIgnored))
      i.enabled = false;
    break;
  case 16: // DataEventEnabled
    i.dataEventEnabled = on;
    if (on && Is(ModelFault::DeliversInsideCall))
      DeliverOne();
    else if (on)
      ScheduleDelivery();
    break;
  case 18: // FreezeEvents
    i.freeze = on;
    if (!on && Is(ModelFault::ThawFlushesHeldData) && !i.queue.empty()) i.flush = true;
    if (!on) ScheduleDelivery();
    break;
  case 10:
    i.autoDisable = on;
    break;
  case 50:
    i.decode = on;
    break;
  case 20: // PowerNotify
    if (i.enabled && !Is(ModelFault::NotifyWhileEnabledAccepted))
      r = 106;
    else if (value != 0 && value != 1 && !Is(ModelFault::NotifyIllegalValueAccepted))
      r = 106;
    else
      i.powerNotify = value;
    break;
  }
  i.resultCode = r;
}

std::optional<FakeAnswer> ModelScanner::Get(FakeScanner &fake, Instance &i, DISPID dispid) {
  switch (dispid) {
  case 22:
    return Long(i.resultCode);
  case 23:
    return Long(i.resultCodeExtended);
  case 24:
    return Long(!i.open || (i.enabled && Is(ModelFault::StateClosedWhileEnabled)) ? 1 : 2);
  case 25:
    return Text(L"Model control object");
  case 26:
    return Long(1014000);
  }
  if (!i.open) {
    i.resultCode = 101;
    return IsTextProperty(dispid) ? Text(L"") : Long(0);
  }
  if (!Is(ModelFault::ReadKeepsResultCode)) i.resultCode = 0;
  switch (dispid) {
  case 10:
    return Bool(i.autoDisable);
  case 12:
    return Long(Is(ModelFault::CapPowerReportingThree) ? 3 : 2);
  case 13:
    return Text(i.healthText);
  case 14:
    return Bool(m_claimOwner == &fake);
  case 15:
    return Long(i.dataCount);
  case 16:
    return Bool(i.dataEventEnabled);
  case 17:
    return Bool(i.enabled);
  case 18:
    return Bool(i.freeze);
  case 20:
    return Long(i.powerNotify);
  case 21:
    return Long(i.enabled && i.powerNotify == 1 && !Is(ModelFault::PowerStateStaysUnknown) ? 2001 : 2000);
  case 27:
    return Text(L"Model service object");
  case 28:
    return Long(1014001);
  case 29:
    if (i.enabled && Is(ModelFault::DescriptionReadRaises)) return FakeAnswer().Raises(L"the description is gone");
    return Text(L"Model scanner");
  case 30:
    return Text(kModelDevice);
  case 39:
    return Bool(true);
  case 40:
    return Bool(!Is(ModelFault::UpdateWithoutCapability));
  case 50:
    return Bool(i.decode);
  case 51:
    return Text(i.scanData);
  case 52:
    return Text(i.scanDataLabel);
  case 53:
    return Long(i.scanDataType);
  }
  return IsTextProperty(dispid) ? Text(L"") : Long(0);
}

std::wstring ModelScanner::Statistics(const std::wstring &names) const {
  if (names.empty() && Is(ModelFault::BrokenStatisticsXml)) return L"<UPOSStat><Equipment></UPOSStat>";
  std::wstring x = L"<?xml version=\"1.0\"?>\n<UPOSStat xmlns=\"http://www.nrf-arts.org/IXRetail/namespace/\">"
                   L"<Equipment><DeviceCategory UPOS=\"Scanner\"/></Equipment><Event>";
  auto entry = [&](const std::wstring &name, const std::wstring &value) {
    x += L"<Parameter><Name>" + name + L"</Name><Value>" + value + L"</Value></Parameter>";
  };
  if (names.empty()) {
    entry(L"GoodScanCount", std::to_wstring(m_goodScans));
    entry(L"HoursPoweredCount", L"5");
  } else if (names == L"GoodScanCount") {
    entry(names, std::to_wstring(m_goodScans));
  } else if (!Is(ModelFault::UnknownStatisticOmitted)) {
    entry(names, L"");
  }
  return x + L"</Event></UPOSStat>";
}

void ModelScanner::ScheduleDelivery() { PostMessageW(m_window, kDeliver, 0, 0); }

void ModelScanner::DeliverOne() {
  if (!m_current) return;
  Instance &i = m_instances[m_current];
  if (!i.open || i.queue.empty()) return;
  if (!i.flush && (!i.dataEventEnabled || (i.freeze && !Is(ModelFault::FreezeIgnored)))) return;
  const Label label = i.queue.front();
  i.queue.pop_front();
  i.flush = i.flush && !i.queue.empty();
  if (!Is(ModelFault::DataCountStays)) --i.dataCount;
  if (!Is(ModelFault::DataEventEnabledStays)) i.dataEventEnabled = false;
  i.scanData = label.raw;
  i.scanDataLabel = i.decode || Is(ModelFault::DecodeOffKeepsLabel) ? label.data : L"";
  i.scanDataType = !i.decode                                ? 0
                   : Is(ModelFault::WrongTypeForIdentifier) ? (label.type == 104 ? 110 : 104)
                                                            : label.type;
  if (!i.queue.empty()) ScheduleDelivery();
  m_current->FireDataEvent(0);
}

LRESULT CALLBACK ModelScanner::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kDeliver) {
    if (auto *model = reinterpret_cast<ModelScanner *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) model->DeliverOne();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
