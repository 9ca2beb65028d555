// The simulated scanner: a device that reads demo labels on a timer and labels
// that another process injects, keeps statistics and a table of attributes
// that Direct IO lists, reads, sets and stores.
#include "control/simulated_scanner.h"

#include "control/demo_labels.h"
#include "control/inject_protocol.h"
#include "control/opos.h"
#include "control/xml.h"
#include "framework/com.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <thread>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillon {
namespace {

constexpr UINT WM_SETENABLED = WM_APP + 1;
constexpr UINT_PTR kDemoTimer = 1;
constexpr wchar_t kStoreKey[] = L"Software\\Quillon\\SimulatedScanner\\";

// Direct IO command numbers.
enum : long {
  DIO_GET_SCANNERS = 1,
  DIO_ATTR_GETALL = 5000,
  DIO_ATTR_GET = 5001,
  DIO_ATTR_GETNEXT = 5002,
  DIO_ATTR_SET = 5004,
  DIO_ATTR_STORE = 5005,
  DIO_SCAN_RESET = 502,
  DIO_SCAN_STATUS = 503,
  DIO_SCAN_DIRECT = 507,
  DIO_SCAN_NOT_ON_FILE = 508,
};

struct AttributeInfo {
  int id;
  wchar_t datatype; // F flag, B byte, W word, D dword, S string, X action
  const wchar_t *name;
  const wchar_t *initial;
  bool writable;
  bool readable;
};

constexpr AttributeInfo kAttributes[] = {
    {1, L'F', L"UPC-A enabled", L"True", true, true},
    {2, L'F', L"UPC-E enabled", L"True", true, true},
    {3, L'F', L"EAN-8 enabled", L"True", true, true},
    {4, L'F', L"EAN-13 enabled", L"True", true, true},
    {8, L'F', L"Code 39 enabled", L"True", true, true},
    {9, L'F', L"Code 128 enabled", L"True", true, true},
    {140, L'B', L"Beeper volume", L"1", true, true},
    {145, L'B', L"Beeper tone", L"2", true, true},
    {200, L'W', L"Good read timeout ms", L"3000", true, true},
    {533, L'S', L"Model number", L"QS-1000", false, true},
    {534, L'S', L"Serial number", L"QSIM00012345", false, true},
    {535, L'S', L"Firmware version", L"QSF 2.4.1", false, true},
    {6000, L'X', L"Beep and LED action", L"", true, false},
};

const AttributeInfo *FindAttribute(int id) {
  for (const AttributeInfo &a : kAttributes)
    if (a.id == id) return &a;
  return nullptr;
}

struct StatisticInfo {
  const wchar_t *name;
  bool manufacturer;
};

constexpr StatisticInfo kStatistics[] = {
    {L"HoursPoweredCount", false}, {L"CommunicationErrorCount", false},
    {L"GoodScanCount", false},     {L"DemoLabelCount", true},
    {L"InjectedLabelCount", true}, {L"NotOnFileCount", true},
    {L"ScannerResetCount", true},  {L"BeepCount", true},
};
constexpr size_t kStatisticCount = std::size(kStatistics);

int FindStatistic(std::wstring_view name) {
  for (size_t i = 0; i < kStatisticCount; ++i)
    if (name == kStatistics[i].name) return static_cast<int>(i);
  return -1;
}

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && iswspace(s[b]))
    ++b;
  while (e > b && iswspace(s[e - 1]))
    --e;
  return std::wstring(s.substr(b, e - b));
}

std::vector<std::wstring> SplitList(std::wstring_view s, wchar_t sep) {
  std::vector<std::wstring> out;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    out.push_back(Trim(s.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start)));
    if (at == std::wstring_view::npos) return out;
    start = at + 1;
  }
}

// A whole decimal number (optional sign), or false.
bool ParseInteger(const std::wstring &text, long long &value) {
  if (text.empty() || text.size() > 20) return false;
  wchar_t *end = nullptr;
  errno = 0;
  value = std::wcstoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == 0 && end != text.c_str() && !iswspace(text[0]);
}

bool ValidValue(wchar_t datatype, const std::wstring &value) {
  long long n = 0;
  switch (datatype) {
  case L'F':
    return value == L"True" || value == L"False";
  case L'B':
    return ParseInteger(value, n) && n >= 0 && n <= 0xFF;
  case L'W':
    return ParseInteger(value, n) && n >= 0 && n <= 0xFFFF;
  case L'D':
    return ParseInteger(value, n) && n >= 0 && n <= 0xFFFFFFFFLL;
  case L'X':
    return ParseInteger(value, n) && n >= 0 && n <= 0xFFFF;
  case L'S':
    return value.size() <= 255;
  }
  return false;
}

} // namespace

struct SimulatedScanner::Injected {
  long code;
  long extended;
};

SimulatedScanner::SimulatedScanner() = default;
SimulatedScanner::~SimulatedScanner() { Close(); }

// ---- life cycle ---------------------------------------------------------------

long SimulatedScanner::Open(const ServiceConfig &config, IServiceSink *sink) {
  m_sink = sink;
  m_deviceName = config.deviceName;
  m_demoInterval = config.Number(L"DemoInterval", 0);
  m_caps.powerReporting = static_cast<long>(std::min<DWORD>(config.Number(L"PowerReporting", opos::PR_NONE), 2));
  m_caps.statisticsReporting = config.Number(L"Statistics", 0) != 0;
  m_caps.updateStatistics = m_caps.statisticsReporting && config.Number(L"UpdateStatistics", 1) != 0;
  m_directIO = config.Number(L"DirectIO", 0) != 0;
  m_description = config.Text(L"Description", L"Quillon simulated scanner");
  m_model = config.Text(L"Model", L"QS-1000");
  m_power = opos::PS_ONLINE;
  m_openedAt = GetTickCount64();
  LoadStore();

  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready) return opos::E_FAILURE;
  try {
    m_thread = std::thread([this, ready] { Run(ready); });
  } catch (const std::system_error &) {
    CloseHandle(ready);
    return opos::E_FAILURE;
  }
  WaitForSingleObject(ready, INFINITE);
  CloseHandle(ready);
  if (!m_window) {
    m_thread.join();
    return opos::E_NOHARDWARE;
  }
  return opos::SUCCESS;
}

void SimulatedScanner::Close() {
  if (m_thread.joinable()) {
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
    SaveStatistics();
  }
  m_window = nullptr;
  m_sink = nullptr;
}

// The device's own thread: the injection window, the demo timer.
void SimulatedScanner::Run(HANDLE ready) {
  static ATOM atom = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    wc.lpszClassName = inject::kInjectClass;
    return RegisterClassW(&wc);
  }();
  if (atom) {
    m_window = CreateWindowExW(0, inject::kInjectClass, m_deviceName.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               reinterpret_cast<HINSTANCE>(&__ImageBase), this);
  }
  SetEvent(ready);
  if (!m_window) return;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0)
    DispatchMessageW(&msg);
}

LRESULT CALLBACK SimulatedScanner::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
  }
  auto *self = reinterpret_cast<SimulatedScanner *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  switch (msg) {
  case WM_COPYDATA:
    try {
      return self->OnInject(*reinterpret_cast<const COPYDATASTRUCT *>(lParam));
    } catch (...) {
      return 0;
    }
  case WM_SETENABLED:
    if (wParam && self->m_demoInterval)
      SetTimer(hwnd, kDemoTimer, self->m_demoInterval, nullptr);
    else
      KillTimer(hwnd, kDemoTimer);
    return 0;
  case WM_TIMER:
    if (wParam == kDemoTimer) self->OnDemoTimer();
    return 0;
  case WM_CLOSE:
    KillTimer(hwnd, kDemoTimer);
    DestroyWindow(hwnd);
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void SimulatedScanner::OnDemoTimer() {
  if (!m_enabled || m_power != opos::PS_ONLINE) return;
  const auto labels = DemoLabels();
  const DemoLabel &d = labels[m_nextDemo++ % labels.size()];
  Label label{d.data, d.data, d.type};
  if (m_sink->OnLabel(std::move(label))) Bump(L"DemoLabelCount");
}

LRESULT SimulatedScanner::OnInject(const COPYDATASTRUCT &cds) {
  const auto *bytes = static_cast<const char *>(cds.lpData);
  const size_t size = bytes ? cds.cbData : 0;
  inject::Numbers n{};
  const bool numbers = size >= sizeof n;
  if (numbers) memcpy(&n, bytes, sizeof n);
  switch (cds.dwData) {
  case inject::Labels: {
    LRESULT taken = 0;
    size_t pos = 0;
    while (size - pos >= sizeof(inject::LabelRecord)) {
      inject::LabelRecord rec;
      memcpy(&rec, bytes + pos, sizeof rec);
      pos += sizeof rec;
      if (rec.rawLength > size - pos || rec.dataLength > size - pos - rec.rawLength) break;
      Label label{std::string(bytes + pos, rec.rawLength), std::string(bytes + pos + rec.rawLength, rec.dataLength),
                  rec.type};
      pos += rec.rawLength + rec.dataLength;
      if (m_enabled && m_power == opos::PS_ONLINE && m_sink->OnLabel(std::move(label))) ++taken;
    }
    Bump(L"InjectedLabelCount", taken);
    return taken;
  }
  case inject::Burst: {
    if (!numbers || n.value < 0) return 0;
    LRESULT taken = 0;
    for (std::int32_t i = 0; i < n.value; ++i) {
      char text[16];
      snprintf(text, sizeof text, "QB%08ld", static_cast<long>(n.first) + static_cast<long>(i));
      if (!m_enabled || m_power != opos::PS_ONLINE) break;
      if (m_sink->OnLabel(Label{text, text, n.extra ? n.extra : opos::SCAN_SDT_Code128})) ++taken;
    }
    Bump(L"InjectedLabelCount", taken);
    return taken;
  }
  case inject::Power:
    if (!numbers || n.value < opos::PS_ONLINE || n.value > opos::PS_OFF_OFFLINE) return 0;
    m_power = n.value;
    m_sink->OnPowerState(n.value);
    return 1;
  case inject::Error:
    if (!numbers) return 0;
    if (!m_enabled) return 0;
    m_sink->OnInputError(n.value, n.extra);
    return 1;
  case inject::FailNext: {
    if (!numbers) return 0;
    std::lock_guard lock(m_lock);
    m_fault = std::make_unique<Injected>(Injected{n.value, n.extra});
    return 1;
  }
  case inject::LongStrings:
    if (!numbers || n.value < 0 || n.value > 16 * 1024 * 1024) return 0;
    m_longLength = static_cast<size_t>(n.value);
    return 1;
  case inject::Flood:
    if (!numbers || n.value < 0) return 0;
    for (std::int32_t i = 0; i < n.value; ++i)
      m_sink->OnStatusUpdate(n.extra);
    return 1;
  case inject::Query:
    return inject::QueryOpen | (m_sink->InputEnabled() ? LRESULT{inject::QueryEnabled} : LRESULT{0});
  }
  return 0;
}

// ---- description ----------------------------------------------------------------

Capabilities SimulatedScanner::Caps() const { return m_caps; }

std::wstring SimulatedScanner::ServiceDescription() const {
  return Long(L"Quillon simulated scanner service, demo feed and injection channel");
}
long SimulatedScanner::ServiceVersion() const { return 1014001; }
std::wstring SimulatedScanner::DeviceDescription() const { return Long(m_description); }
std::wstring SimulatedScanner::PhysicalDeviceName() const { return Long(m_model + L" on " + m_deviceName); }

std::wstring SimulatedScanner::Long(std::wstring text) const {
  const size_t want = m_longLength;
  if (want > text.size()) {
    text += L' ';
    while (text.size() < want)
      text += static_cast<wchar_t>(L'A' + text.size() % 26);
  }
  return text;
}

long SimulatedScanner::Enable(bool enable) {
  m_enabled = enable;
  PostMessageW(m_window, WM_SETENABLED, enable, 0);
  return opos::SUCCESS;
}

long SimulatedScanner::CurrentPowerState() const { return m_power; }

long SimulatedScanner::CheckHealth(long level, std::wstring &text) {
  const long rc = HealthCheckText(level, m_power == opos::PS_ONLINE, true, text);
  if (rc == opos::SUCCESS) text = Long(text);
  return rc;
}

bool SimulatedScanner::TakeInjectedFault(Result &fault) {
  std::lock_guard lock(m_lock);
  if (!m_fault) return false;
  fault = Result{m_fault->code, m_fault->extended};
  m_fault.reset();
  return true;
}

void SimulatedScanner::LabelDelivered() { Bump(L"GoodScanCount"); }

// ---- statistics -----------------------------------------------------------------

void SimulatedScanner::Bump(const wchar_t *name, long long by) {
  const int i = FindStatistic(name);
  std::lock_guard lock(m_lock);
  if (i >= 0) m_statistics[static_cast<size_t>(i)] += by;
}

// Resolves a name list ("" all, "U_" standard, "M_" manufacturer, or names)
// into statistic indices; unknown names come back as -1 with their name.
// A retrieval's "M_" also brings GoodScanCount: the manufacturer's report of
// this device repeats the good-scan counter, so a client that asks for "M_"
// alone still sees it. Updates and resets of "M_" leave it alone.
static std::vector<std::pair<int, std::wstring>> ResolveNames(const std::wstring &buffer, bool bRetrieve = false) {
  std::vector<std::pair<int, std::wstring>> out;
  auto group = [&](int which) { // 0 all, 1 standard, 2 manufacturer
    for (size_t i = 0; i < kStatisticCount; ++i)
      if (which == 0 || (which == 2) == kStatistics[i].manufacturer) out.emplace_back(int(i), kStatistics[i].name);
  };
  const std::wstring all = Trim(buffer);
  if (all.empty()) {
    group(0);
    return out;
  }
  for (const std::wstring &name : SplitList(all, L',')) {
    if (name == L"U_")
      group(1);
    else if (name == L"M_") {
      group(2);
      if (bRetrieve) out.emplace_back(FindStatistic(L"GoodScanCount"), L"GoodScanCount");
    } else
      out.emplace_back(FindStatistic(name), name);
  }
  return out;
}

Result SimulatedScanner::RetrieveStatistics(std::wstring &buffer) {
  std::vector<std::pair<int, std::wstring>> names = ResolveNames(buffer, true);
  std::lock_guard lock(m_lock);
  m_statistics[0] = m_storedHours + static_cast<long long>((GetTickCount64() - m_openedAt) / 3600000);
  std::wstring x = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                   L"<UPOSStat version=\"1.14.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                   L"xmlns=\"http://www.nrf-arts.org/IXRetail/namespace/\" "
                   L"xsi:schemaLocation=\"http://www.nrf-arts.org/IXRetail/namespace/ UPOSStat.xsd\">\r\n"
                   L" <Equipment>\r\n"
                   L"  <UnifiedPOSVersion>1.14.1</UnifiedPOSVersion>\r\n"
                   L"  <DeviceCategory UPOS=\"Scanner\"/>\r\n"
                   L"  <ManufacturerName>Quillon</ManufacturerName>\r\n"
                   L"  <ModelName>" +
                   xml::Escape(m_model) + L"</ModelName>\r\n  <SerialNumber>" + xml::Escape(Attribute(534)) +
                   L"</SerialNumber>\r\n  <FirmwareRevision>" + xml::Escape(Attribute(535)) +
                   L"</FirmwareRevision>\r\n"
                   L"  <Interface>Simulated</Interface>\r\n"
                   L"  <InstallationDate>2024-01-15</InstallationDate>\r\n"
                   L" </Equipment>\r\n <Event>\r\n";
  for (const auto &[index, name] : names) {
    const bool manufacturer = index >= 0 && kStatistics[index].manufacturer;
    const wchar_t *tag = manufacturer ? L"ManufacturerSpecific" : L"Parameter";
    x += L"  <";
    x += tag;
    x += L">\r\n   <Name>" + xml::Escape(name) + L"</Name>\r\n   <Value>";
    if (index >= 0) x += std::to_wstring(m_statistics[static_cast<size_t>(index)]);
    x += L"</Value>\r\n  </";
    x += tag;
    x += L">\r\n";
  }
  if (m_longLength) {
    x += L"  <ManufacturerSpecific>\r\n   <Name>LongText</Name>\r\n   <Value>" + xml::Escape(Long(L"")) +
         L"</Value>\r\n  </ManufacturerSpecific>\r\n";
  }
  x += L" </Event>\r\n</UPOSStat>\r\n";
  buffer = std::move(x);
  return {};
}

Result SimulatedScanner::UpdateStatistics(const std::wstring &buffer) {
  std::vector<std::pair<std::vector<int>, long long>> updates;
  if (Trim(buffer).empty()) return {opos::E_ILLEGAL, 0};
  for (const std::wstring &pair : SplitList(buffer, L',')) {
    const size_t eq = pair.find(L'=');
    if (eq == std::wstring::npos) return {opos::E_ILLEGAL, 0};
    long long value = 0;
    if (!ParseInteger(Trim(pair.substr(eq + 1)), value) || value < 0) return {opos::E_ILLEGAL, 0};
    std::vector<int> targets;
    for (const auto &[index, name] : ResolveNames(Trim(pair.substr(0, eq)))) {
      if (index < 0) return {opos::E_EXTENDED, opos::EX_STATISTICS_ERROR};
      targets.push_back(index);
    }
    updates.emplace_back(std::move(targets), value);
  }
  {
    std::lock_guard lock(m_lock);
    for (const auto &[targets, value] : updates)
      for (int i : targets)
        m_statistics[static_cast<size_t>(i)] = value;
    if (std::any_of(updates.begin(), updates.end(),
                    [](const auto &u) { return std::find(u.first.begin(), u.first.end(), 0) != u.first.end(); }))
      m_storedHours = m_statistics[0], m_openedAt = GetTickCount64();
  }
  SaveStatistics();
  return {};
}

Result SimulatedScanner::ResetStatistics(const std::wstring &buffer) {
  std::vector<int> targets;
  for (const auto &[index, name] : ResolveNames(buffer)) {
    if (index < 0) return {opos::E_EXTENDED, opos::EX_STATISTICS_ERROR};
    targets.push_back(index);
  }
  {
    std::lock_guard lock(m_lock);
    for (int i : targets) {
      m_statistics[static_cast<size_t>(i)] = 0;
      if (i == 0) m_storedHours = 0, m_openedAt = GetTickCount64();
    }
  }
  SaveStatistics();
  return {};
}

// ---- stored state -----------------------------------------------------------------

void SimulatedScanner::LoadStore() {
  for (const AttributeInfo &a : kAttributes)
    m_attributes[a.id] = a.initial;
  m_statistics.assign(kStatisticCount, 0);
  ScopedRegKey key;
  if (key.Open(HKEY_CURRENT_USER, (kStoreKey + m_deviceName).c_str(), KEY_READ) != ERROR_SUCCESS) return;
  for (size_t i = 0; i < kStatisticCount; ++i) {
    ULONGLONG v = 0;
    DWORD size = sizeof v;
    if (RegQueryValueExW(key.Get(), (std::wstring(L"stat.") + kStatistics[i].name).c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE *>(&v), &size) == ERROR_SUCCESS &&
        size == sizeof v)
      m_statistics[i] = static_cast<long long>(v);
  }
  m_storedHours = m_statistics[0];
  for (const AttributeInfo &a : kAttributes) {
    wchar_t value[300] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), (L"attr." + std::to_wstring(a.id)).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE *>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ && ValidValue(a.datatype, value))
      m_attributes[a.id] = value;
  }
}

static bool CreateStoreKey(const std::wstring &deviceName, HKEY &key) {
  return RegCreateKeyExW(HKEY_CURRENT_USER, (kStoreKey + deviceName).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                         nullptr) == ERROR_SUCCESS;
}

void SimulatedScanner::SaveStatistics() {
  if (!m_caps.statisticsReporting || m_statistics.empty()) return;
  std::vector<long long> copy;
  {
    std::lock_guard lock(m_lock);
    m_statistics[0] = m_storedHours + static_cast<long long>((GetTickCount64() - m_openedAt) / 3600000);
    copy = m_statistics;
  }
  HKEY raw = nullptr;
  if (!CreateStoreKey(m_deviceName, raw)) return;
  for (size_t i = 0; i < kStatisticCount; ++i) {
    const ULONGLONG v = static_cast<ULONGLONG>(copy[i]);
    RegSetValueExW(raw, (std::wstring(L"stat.") + kStatistics[i].name).c_str(), 0, REG_QWORD,
                   reinterpret_cast<const BYTE *>(&v), sizeof v);
  }
  RegCloseKey(raw);
}

bool SimulatedScanner::StoreAttribute(int id, const std::wstring &value) {
  HKEY raw = nullptr;
  if (!CreateStoreKey(m_deviceName, raw)) return false;
  const LSTATUS s = RegSetValueExW(raw, (L"attr." + std::to_wstring(id)).c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(raw);
  return s == ERROR_SUCCESS;
}

std::wstring SimulatedScanner::Attribute(int id) const {
  const auto it = m_attributes.find(id);
  return it == m_attributes.end() ? std::wstring() : it->second;
}

// ---- Direct IO --------------------------------------------------------------------

long SimulatedScanner::DirectIO(long command, long &data, std::wstring &text, bool claimed) {
  if (!m_directIO) return opos::E_ILLEGAL;
  switch (command) {
  case DIO_GET_SCANNERS:
    data = 1;
    text = L"<scanners>\r\n <scanner type=\"SIM\">\r\n  <scannerID>1</scannerID>\r\n  <serialnumber>" +
           xml::Escape(Attribute(534)) + L"</serialnumber>\r\n  <modelnumber>" + xml::Escape(m_model) +
           L"</modelnumber>\r\n  <firmware>" + xml::Escape(Attribute(535)) +
           L"</firmware>\r\n  <DoM>15Jan24</DoM>\r\n </scanner>\r\n</scanners>" + LongComment();
    return opos::SUCCESS;
  case DIO_ATTR_GETALL:
  case DIO_ATTR_GET:
  case DIO_ATTR_GETNEXT:
  case DIO_ATTR_SET:
  case DIO_ATTR_STORE: {
    std::optional<xml::Node> doc = xml::Parse(text);
    if (!doc) return opos::E_ILLEGAL;
    return Attributes(command, *doc, data, text, claimed);
  }
  case DIO_SCAN_DIRECT: {
    std::optional<xml::Node> doc = xml::Parse(text);
    if (!doc || doc->name != L"inArgs") return opos::E_ILLEGAL;
    long long opcode = 0;
    const std::optional<std::wstring> op = doc->ChildText(L"opcode");
    if (!op || !ParseInteger(*op, opcode)) return opos::E_ILLEGAL;
    if (opcode < DIO_ATTR_GETALL || opcode > DIO_ATTR_STORE || opcode == 5003) return opos::E_ILLEGAL;
    return Attributes(static_cast<long>(opcode), *doc, data, text, claimed);
  }
  case DIO_SCAN_NOT_ON_FILE:
    if (!claimed) return opos::E_NOTCLAIMED;
    Bump(L"NotOnFileCount");
    Bump(L"BeepCount");
    data = 0;
    return opos::SUCCESS;
  case DIO_SCAN_RESET:
    if (!claimed) return opos::E_NOTCLAIMED;
    {
      // Back to the stored settings, as after a power cycle.
      const std::vector<long long> keep = [&] {
        std::lock_guard lock(m_lock);
        return m_statistics;
      }();
      LoadStore();
      std::lock_guard lock(m_lock);
      m_statistics = keep;
    }
    Bump(L"ScannerResetCount");
    data = 0;
    return opos::SUCCESS;
  case DIO_SCAN_STATUS:
    data = m_power == opos::PS_ONLINE ? 0 : 1;
    text = L"<status>\r\n <power>" + std::wstring(m_power == opos::PS_ONLINE ? L"online" : L"offline") +
           L"</power>\r\n <enabled>" + (m_enabled ? L"true" : L"false") + L"</enabled>\r\n</status>" + LongComment();
    return opos::SUCCESS;
  }
  return opos::E_ILLEGAL;
}

std::wstring SimulatedScanner::LongComment() const {
  if (!m_longLength) return {};
  return L"<!--" + Long(L"") + L"-->";
}

// The attribute commands. The argument document is
// <inArgs><scannerID>1</scannerID><cmdArgs><arg-xml><attrib_list>...</attrib_list></arg-xml></cmdArgs></inArgs>.
long SimulatedScanner::Attributes(long command, const xml::Node &doc, long &data, std::wstring &text, bool claimed) {
  if (doc.name != L"inArgs" || doc.ChildText(L"scannerID") != L"1") return opos::E_ILLEGAL;
  const xml::Node *list = nullptr;
  if (const xml::Node *cmd = doc.Child(L"cmdArgs"))
    if (const xml::Node *arg = cmd->Child(L"arg-xml")) list = arg->Child(L"attrib_list");
  if (command != DIO_ATTR_GETALL && !list) return opos::E_ILLEGAL;

  std::wstring body;
  auto describe = [&](const AttributeInfo &a) {
    body += L"    <attribute>\r\n     <id>" + std::to_wstring(a.id) + L"</id>\r\n     <name>" + xml::Escape(a.name) +
            L"</name>\r\n     <datatype>" + std::wstring(1, a.datatype) + L"</datatype>\r\n     <permission>" +
            (a.readable ? L"R" : L"") + (a.writable ? L"W" : L"") + L"</permission>\r\n     <value>" +
            (a.readable ? xml::Escape(Attribute(a.id)) : L"") + L"</value>\r\n    </attribute>\r\n";
  };
  switch (command) {
  case DIO_ATTR_GETALL:
    for (const AttributeInfo &a : kAttributes)
      body += L"    <attribute name=\"" + xml::Escape(a.name) + L"\">" + std::to_wstring(a.id) + L"</attribute>\r\n";
    break;
  case DIO_ATTR_GET:
  case DIO_ATTR_GETNEXT:
    for (const std::wstring &item : SplitList(list->text, L',')) {
      long long id = 0;
      if (!ParseInteger(item, id)) return opos::E_ILLEGAL;
      if (command == DIO_ATTR_GET) {
        const AttributeInfo *a = id >= 0 && id <= 0xFFFF ? FindAttribute(static_cast<int>(id)) : nullptr;
        if (!a) return opos::E_ILLEGAL;
        describe(*a);
      } else {
        const AttributeInfo *next = nullptr;
        for (const AttributeInfo &a : kAttributes)
          if (a.id > id) {
            next = &a;
            break;
          }
        if (next) describe(*next);
      }
    }
    break;
  case DIO_ATTR_SET:
  case DIO_ATTR_STORE: {
    if (!claimed) return opos::E_NOTCLAIMED;
    std::vector<std::pair<const AttributeInfo *, std::wstring>> changes;
    for (const xml::Node &node : list->children) {
      if (node.name != L"attribute") return opos::E_ILLEGAL;
      const std::optional<std::wstring> id = node.ChildText(L"id"), type = node.ChildText(L"datatype"),
                                        value = node.ChildText(L"value");
      long long n = 0;
      if (!id || !type || !value || !ParseInteger(*id, n) || n < 0 || n > 0xFFFF) return opos::E_ILLEGAL;
      const AttributeInfo *a = FindAttribute(static_cast<int>(n));
      if (!a || !a->writable || type->size() != 1 || (*type)[0] != a->datatype || !ValidValue(a->datatype, *value))
        return opos::E_ILLEGAL;
      changes.emplace_back(a, *value);
    }
    if (changes.empty()) return opos::E_ILLEGAL;
    for (const auto &[a, value] : changes) {
      if (a->datatype == L'X') {
        Bump(L"BeepCount");
        continue;
      }
      m_attributes[a->id] = value;
      if (command == DIO_ATTR_STORE && !StoreAttribute(a->id, value)) return opos::E_FAILURE;
    }
    break;
  }
  }
  data = 0;
  text = L"<outArgs>\r\n <scannerID>1</scannerID>\r\n <arg-xml>\r\n  <modelnumber>" + xml::Escape(m_model) +
         L"</modelnumber>\r\n  <serialnumber>" + xml::Escape(Attribute(534)) +
         L"</serialnumber>\r\n  <response>\r\n   <opcode>" + std::to_wstring(command) + L"</opcode>\r\n";
  if (!body.empty()) text += L"   <attrib_list>\r\n" + body + L"   </attrib_list>\r\n";
  text += L"  </response>\r\n </arg-xml>\r\n</outArgs>" + LongComment();
  return opos::SUCCESS;
}

} // namespace quillon
