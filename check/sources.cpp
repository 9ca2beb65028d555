// Label sources, the claim-holding second process and the quiet simulated device.
#include "check/sources.h"

#include "common/std_output.h"
#include "control/inject/client.h"
#include "framework/winapp.h"

#include <string>

namespace inject = quillon::inject;

namespace {

struct FeedLabel {
  const char *raw;  // as the scanner sends it: symbology identifier kept
  const char *data; // decoded
  long type;
};
const FeedLabel kFeedLabels[] = {
    {"]E04006381333931", "4006381333931", 104}, // EAN-13
    {"]C0QUILLON-CHECK", "QUILLON-CHECK", 110}, // Code 128
};

const wchar_t kScannerKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\";

} // namespace

LabelSource::Fed FeedLabels::Deliver(int number, int, std::wstring &why) {
  const HWND window = inject::FindFirstWindow(m_device.c_str());
  if (!window) {
    why =
        L"needs a scan: --feed works only with this project's simulated devices, and " + m_device + L" has no injector";
    return Fed::Unavailable;
  }
  const FeedLabel &label = kFeedLabels[static_cast<size_t>(number - 1) % std::size(kFeedLabels)];
  const inject::Delivery delivery = inject::Send(
      window, inject::Labels, inject::LabelPayload(static_cast<std::int32_t>(label.type), label.data, label.raw),
      {5000, SMTO_ABORTIFHUNG});
  if (!delivery.delivered || delivery.reply != 1) {
    why = L"the simulated device took no label while enabled";
    return Fed::Refused;
  }
  return Fed::Sent;
}

LabelSource::Fed PromptForLabels::Deliver(int number, int total, std::wstring &) {
  WriteStandardOutput(L"Scan a barcode now (" + std::to_wstring(number) + L" of " + std::to_wstring(total) + L")\n");
  return Fed::Sent;
}

long ProcessClaimHolder::Hold(long timeout) {
  Release();
  const std::wstring signal =
      L"QuillonCheck." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++m_count);
  const ScopedHandle claimed(CreateEventW(nullptr, TRUE, FALSE, (signal + L".claimed").c_str()));
  m_release.Reset(CreateEventW(nullptr, TRUE, FALSE, (signal + L".release").c_str()));
  const std::wstring exe = static_cast<const wchar_t *>(AfxGetModuleFileName(nullptr));
  std::wstring command = L"\"" + exe + L"\" \"--hold-claim=" + m_device + L"\" --signal=" + signal +
                         L" --claim-timeout=" + std::to_wstring(timeout);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!claimed || !m_release ||
      !CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi)) {
    Release();
    return -1;
  }
  CloseHandle(pi.hThread);
  m_process.Reset(pi.hProcess);
  const HANDLE waits[] = {claimed.Get(), m_process.Get()};
  const DWORD limit = timeout > 0 ? static_cast<DWORD>(timeout) + 20000 : 20000;
  const DWORD w = WaitForMultipleObjects(2, waits, FALSE, limit);
  if (w == WAIT_OBJECT_0) return 0;
  DWORD code = static_cast<DWORD>(-1);
  if (w == WAIT_OBJECT_0 + 1) GetExitCodeProcess(m_process.Get(), &code);
  Release();
  return static_cast<long>(code);
}

void ProcessClaimHolder::Release() {
  if (m_release) SetEvent(m_release.Get());
  if (m_process) {
    if (WaitForSingleObject(m_process.Get(), 10000) != WAIT_OBJECT_0) TerminateProcess(m_process.Get(), 1);
    m_process.Reset();
  }
  m_release.Reset();
}

int HoldClaim(const std::wstring &device, const std::wstring &signal, long timeout) {
  const ScopedHandle claimed(OpenEventW(EVENT_MODIFY_STATE, FALSE, (signal + L".claimed").c_str()));
  const ScopedHandle release(OpenEventW(SYNCHRONIZE, FALSE, (signal + L".release").c_str()));
  int status = 2;
  if (claimed && release) {
    // The parent watches this process as a whole: a hung call ends it.
    Watchdog watchdog([](const std::wstring &, unsigned) { TerminateProcess(GetCurrentProcess(), 3); });
    CheckSession session(watchdog, 10000 + (timeout > 0 ? static_cast<unsigned>(timeout) : 0));
    std::wstring error;
    try {
      if (session.NewControl(error)) {
        status = static_cast<int>(session.Open(device));
        if (status == 0) {
          status = static_cast<int>(session.ClaimDevice(timeout));
          if (status == 0) {
            SetEvent(claimed.Get());
            session.PumpUntil([&] { return WaitForSingleObject(release.Get(), 0) == WAIT_OBJECT_0; }, 60000);
            session.ReleaseDevice();
          }
          session.Close();
        }
      }
    } catch (...) {
      status = 2;
    }
  }
  return status;
}

QuietSimulatedDevice::QuietSimulatedDevice(const std::wstring &device) {
  const std::wstring path = kScannerKey + device;
  if (m_key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS) {
    return;
  }
  DWORD size = sizeof m_old, type = 0;
  const DWORD none = 0;
  if (RegQueryValueExW(m_key.Get(), L"DemoInterval", nullptr, &type, reinterpret_cast<BYTE *>(&m_old), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD ||
      RegSetValueExW(m_key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&none), sizeof none) !=
          ERROR_SUCCESS)
    m_key.Close();
}

void QuietSimulatedDevice::Restore() {
  if (!m_key) return;
  RegSetValueExW(m_key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&m_old), sizeof m_old);
  m_key.Close();
}
