// The simulated scanner's Windows side: its thread and window, and its store
// in the registry (HKCU\Software\Quillon\SimulatedScanner\<device>: stat.<name>
// as REG_QWORD, attr.<id> as REG_SZ).
#include "control/win32/simulated_scanner.h"

#include "control/core/opos.h"
#include "control/inject/protocol.h"
#include "control/win32/module_instance.h"
#include "comkit/handles.h"
#include "comkit/window_class.h"

#include <system_error>

namespace quillon::control {
namespace {

constexpr UINT WM_SETENABLED = WM_APP + 1;
constexpr UINT_PTR kDemoTimer = 1;
constexpr wchar_t kStoreKey[] = L"Software\\Quillon\\SimulatedScanner\\";

} // namespace

class SimulatedScanner::RegistryStore final : public ISimulatedStore {
public:
  explicit RegistryStore(std::wstring deviceName) : m_path(kStoreKey + deviceName) {}

  std::map<std::wstring, long long> LoadStatistics() override {
    std::map<std::wstring, long long> out;
    ScopedRegKey key;
    if (key.Open(HKEY_CURRENT_USER, m_path.c_str(), KEY_READ) != ERROR_SUCCESS) return out;
    for (const stats::StatisticName &s : stats::SimulatedTable()) {
      ULONGLONG v = 0;
      DWORD size = sizeof v;
      if (RegQueryValueExW(key.Get(), (std::wstring(L"stat.") + s.name).c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE *>(&v), &size) == ERROR_SUCCESS &&
          size == sizeof v)
        out[s.name] = static_cast<long long>(v);
    }
    return out;
  }

  void SaveStatistics(const std::map<std::wstring, long long> &values) override {
    ScopedRegKey key;
    if (key.Create(HKEY_CURRENT_USER, m_path.c_str(), KEY_WRITE) != ERROR_SUCCESS) return;
    for (const auto &[name, value] : values) {
      const ULONGLONG v = static_cast<ULONGLONG>(value);
      RegSetValueExW(key.Get(), (L"stat." + name).c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
    }
  }

  std::map<int, std::wstring> LoadAttributes() override {
    std::map<int, std::wstring> out;
    ScopedRegKey key;
    if (key.Open(HKEY_CURRENT_USER, m_path.c_str(), KEY_READ) != ERROR_SUCCESS) return out;
    for (const attributes::AttributeInfo &a : attributes::Table()) {
      wchar_t value[300] = {};
      DWORD size = sizeof value - sizeof(wchar_t);
      DWORD type = 0;
      if (RegQueryValueExW(key.Get(), (L"attr." + std::to_wstring(a.id)).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE *>(value), &size) == ERROR_SUCCESS &&
          type == REG_SZ)
        out[a.id] = value;
    }
    return out;
  }

  bool StoreAttribute(int id, const std::wstring &value) override {
    ScopedRegKey key;
    if (key.Create(HKEY_CURRENT_USER, m_path.c_str(), KEY_WRITE) != ERROR_SUCCESS) return false;
    return RegSetValueExW(key.Get(), (L"attr." + std::to_wstring(id)).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }

private:
  std::wstring m_path;
};

SimulatedScanner::SimulatedScanner() = default;
SimulatedScanner::~SimulatedScanner() { Close(); }

// ---- life cycle ---------------------------------------------------------------

long SimulatedScanner::Open(const ServiceConfig &config, IServiceSink *sink) {
  const SimulatedSettings settings = SimulatedSettings::From(config);
  m_store = std::make_unique<RegistryStore>(settings.deviceName);
  m_device = std::make_unique<SimulatedDevice>(settings, *sink, m_clock, *m_store);
  const ScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return opos::E_FAILURE;
  try {
    m_thread = std::thread([this, event = ready.Get()] { Run(event); });
  } catch (const std::system_error &) {
    return opos::E_FAILURE;
  }
  WaitForSingleObject(ready.Get(), INFINITE);
  if (!m_window) {
    m_thread.join();
    return opos::E_NOHARDWARE;
  }
  return opos::SUCCESS;
}

void SimulatedScanner::Close() {
  if (m_thread.joinable()) {
    m_device->Stop(); // an injection loop in progress ends now
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
    m_device->SaveStatistics();
  }
  m_window = nullptr;
}

// The device's own thread: the injection window, the demo timer. Nothing
// thrown here may end the process: each message is handled on its own.
void SimulatedScanner::Run(HANDLE ready) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = inject::kInjectClass;
  if (comkit::RegisterClassOnce(wc)) {
    m_window = CreateWindowExW(0, inject::kInjectClass, m_device->Settings().deviceName.c_str(), 0, 0, 0, 0, 0,
                               HWND_MESSAGE, nullptr, ModuleInstance(), this);
  }
  // Injection comes from other processes, which may run at a lower integrity
  // level than this one (an elevated console, a normal scaninject).
  if (m_window) ChangeWindowMessageFilterEx(m_window, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
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
  try {
    return self->OnMessage(hwnd, msg, wParam, lParam);
  } catch (...) { // a label that could not be made is a label not taken
    return 0;
  }
}

LRESULT SimulatedScanner::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
  case WM_COPYDATA: {
    const auto &cds = *reinterpret_cast<const COPYDATASTRUCT *>(lParam);
    return static_cast<LRESULT>(m_device->Inject(static_cast<std::uint32_t>(cds.dwData), cds.lpData, cds.cbData));
  }
  case WM_SETENABLED:
    if (wParam && m_device->Settings().demoInterval)
      SetTimer(hwnd, kDemoTimer, m_device->Settings().demoInterval, nullptr);
    else
      KillTimer(hwnd, kDemoTimer);
    return 0;
  case WM_TIMER:
    if (wParam == kDemoTimer) m_device->DemoTick();
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

// ---- the rest, handed to the device -------------------------------------------------

Capabilities SimulatedScanner::Caps() const { return m_device->Settings().caps; }

std::wstring SimulatedScanner::ServiceDescription() const {
  return m_device->Long(L"Quillon simulated scanner service, demo feed and injection channel");
}
long SimulatedScanner::ServiceVersion() const { return 1014001; }
std::wstring SimulatedScanner::DeviceDescription() const { return m_device->Long(m_device->Settings().description); }
std::wstring SimulatedScanner::PhysicalDeviceName() const {
  return m_device->Long(m_device->Settings().model + L" on " + m_device->Settings().deviceName);
}

long SimulatedScanner::Enable(bool enable) {
  m_device->SetEnabled(enable);
  PostMessageW(m_window, WM_SETENABLED, enable, 0);
  return opos::SUCCESS;
}

long SimulatedScanner::CurrentPowerState() const { return m_device->Power(); }
long SimulatedScanner::CheckHealth(long level, std::wstring &text) { return m_device->CheckHealth(level, text); }
long SimulatedScanner::DirectIO(long command, long &data, std::wstring &text, bool claimed) {
  return m_device->DirectIO(command, data, text, claimed);
}
Result SimulatedScanner::RetrieveStatistics(std::wstring &buffer) { return m_device->RetrieveStatistics(buffer); }
Result SimulatedScanner::UpdateStatistics(const std::wstring &buffer) { return m_device->UpdateStatistics(buffer); }
Result SimulatedScanner::ResetStatistics(const std::wstring &buffer) { return m_device->ResetStatistics(buffer); }
void SimulatedScanner::LabelDelivered() { m_device->LabelDelivered(); }
bool SimulatedScanner::TakeInjectedFault(Result &fault) { return m_device->TakeInjectedFault(fault); }

} // namespace quillon::control
