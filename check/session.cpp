// The hidden host window, the watchdog and the timed calls of a check.
#include "check/session.h"

#include "check/check_resource.h"

#include <chrono>

std::atomic<bool> g_checkInterrupted{false};

namespace {

constexpr UINT kControlId = 1000;
// What a control site posts to itself when the control's events could not be
// connected (it would show a message box; a check reports it instead).
constexpr UINT kSiteNoEventsMessage = WM_APP + 0x4E;

} // namespace

// ---- Watchdog -----------------------------------------------------------------

Watchdog::Watchdog(Expired onExpired) : m_onExpired(std::move(onExpired)), m_thread([this] { Watch(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(m_lock);
    m_stop = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void Watchdog::Arm(const std::wstring &call, unsigned ms) {
  {
    std::lock_guard lock(m_lock);
    m_armed = true;
    m_call = call;
    m_ms = ms;
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  }
  m_changed.notify_all();
}

void Watchdog::Disarm() {
  std::lock_guard lock(m_lock);
  m_armed = false;
}

void Watchdog::Watch() {
  std::unique_lock lock(m_lock);
  while (!m_stop) {
    if (!m_armed || m_fired) {
      m_changed.wait(lock);
      continue;
    }
    if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout && m_armed &&
        std::chrono::steady_clock::now() >= m_deadline) {
      m_fired = true;
      const std::wstring call = m_call;
      const unsigned ms = m_ms;
      lock.unlock();
      m_onExpired(call, ms);
      lock.lock();
    }
  }
}

// ---- Host window ----------------------------------------------------------------

class CheckSession::Host : public CDialog {
public:
  explicit Host(CheckSession &session) : CDialog(IDD_CHECK_HOST), m_session(session) {}

protected:
  bool OnControlEvent(UINT, DISPID dispid, const DISPPARAMS &params) override {
    m_session.OnEvent(dispid, params);
    return true;
  }

private:
  CheckSession &m_session;
};

CheckSession::CheckSession(Watchdog &watchdog, unsigned callTimeoutMs)
    : m_watchdog(watchdog), m_timeoutMs(callTimeoutMs) {}

CheckSession::~CheckSession() {
  DestroyControl();
  if (m_host) {
    m_host->DestroyWindow();
    delete m_host;
  }
}

bool CheckSession::NewControl(std::wstring &error) {
  DestroyControl();
  if (!m_host) {
    m_host = new Host(*this);
    if (!m_host->Create()) {
      error = L"the hidden host window could not be made (error " + std::to_wstring(GetLastError()) + L")";
      return false;
    }
  }
  try {
    // A control object's start-up runs its code too, and may hang like any call.
    Call(L"creating the control object", 0, [&] {
      const RECT rc{0, 0, 16, 16};
      m_s.Create(L"", 0, rc, m_host, kControlId);
      return 0;
    });
  } catch (const CDispatchException &e) {
    error = std::wstring(L"the OPOS Scanner control object could not be created: ") +
            static_cast<const wchar_t *>(e.m_strDescription);
    return false;
  }
  m_noEvents = false;
  return true;
}

void CheckSession::DestroyControl() {
  if (m_s.m_hWnd) {
    // Tearing the control down runs its code as well; timed, but never
    // throwing, since destructors come here.
    m_watchdog.Arm(L"releasing the control object", m_timeoutMs);
    ::DestroyWindow(m_s.Detach());
    m_watchdog.Disarm();
  }
  m_events.clear();
}

long CheckSession::RetrieveStatistics(const std::wstring &names, std::wstring &reply) {
  ScopedBstr buffer(names.c_str());
  const long r = Call(L"RetrieveStatistics", 0, [&] { return m_s.RetrieveStatistics(buffer.InOut()); });
  reply.assign(buffer.Get() ? buffer.Get() : L"", buffer.Length());
  return r;
}

void CheckSession::ForEachPropertyRead(
    const std::function<void(const wchar_t *name, const std::function<void()> &read)> &visit) {
  using Long = long (CheckSession::*)();
  using Str = std::wstring (CheckSession::*)();
  static const struct {
    const wchar_t *name;
    Long getLong;
    Str getText;
  } kReads[] = {
      {L"AutoDisable", &CheckSession::GetAutoDisable, nullptr},
      {L"CapPowerReporting", &CheckSession::GetCapPowerReporting, nullptr},
      {L"CapStatisticsReporting", &CheckSession::GetCapStatisticsReporting, nullptr},
      {L"CapUpdateStatistics", &CheckSession::GetCapUpdateStatistics, nullptr},
      {L"CheckHealthText", nullptr, &CheckSession::GetCheckHealthText},
      {L"Claimed", &CheckSession::GetClaimed, nullptr},
      {L"DataCount", &CheckSession::GetDataCount, nullptr},
      {L"DataEventEnabled", &CheckSession::GetDataEventEnabled, nullptr},
      {L"DecodeData", &CheckSession::GetDecodeData, nullptr},
      {L"DeviceDescription", nullptr, &CheckSession::GetDeviceDescription},
      {L"DeviceEnabled", &CheckSession::GetDeviceEnabled, nullptr},
      {L"PowerNotify", &CheckSession::GetPowerNotify, nullptr},
      {L"PowerState", &CheckSession::GetPowerState, nullptr},
      {L"ScanData", nullptr, &CheckSession::GetScanData},
      {L"ScanDataLabel", nullptr, &CheckSession::GetScanDataLabel},
      {L"ScanDataType", &CheckSession::GetScanDataType, nullptr},
      {L"ServiceObjectDescription", nullptr, &CheckSession::GetServiceObjectDescription},
      {L"ServiceObjectVersion", &CheckSession::GetServiceObjectVersion, nullptr},
  };
  for (const auto &r : kReads)
    visit(r.name, [&] {
      if (r.getLong)
        (this->*r.getLong)();
      else
        (this->*r.getText)();
    });
}

bool CheckSession::PumpUntil(const std::function<bool()> &done, unsigned ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        throw RunEnded{L"the program was asked to end"};
      }
      if (msg.message == kSiteNoEventsMessage && m_s.m_hWnd && msg.hwnd == m_s.m_hWnd) {
        m_noEvents = true;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (g_checkInterrupted && m_interruptible) throw RunEnded{L"interrupted (Ctrl+C)"};
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

size_t CheckSession::DataEvents() const {
  size_t n = 0;
  for (const RecordedEvent &e : m_events)
    if (e.dispid == 1) ++n;
  return n;
}

void CheckSession::OnEvent(DISPID dispid, const DISPPARAMS &params) {
  RecordedEvent e{dispid, EventArgAsLong(params), GetCurrentThreadId() == m_thread,
                  m_callStack.empty() ? std::wstring() : m_callStack.back()};
  const std::wstring name = dispid == 1 ? L"a DataEvent" : L"an event (dispatch ID " + std::to_wstring(dispid) + L")";
  if (!e.onAppThread)
    m_misdelivered.push_back(name + L" arrived on another thread than the application's");
  else if (!e.duringCall.empty())
    m_misdelivered.push_back(name + L" arrived inside the application's call to " + e.duringCall);
  m_events.push_back(std::move(e));
}

void CheckSession::Enter(const wchar_t *name, unsigned extraMs) {
  if (g_checkInterrupted && m_interruptible) throw RunEnded{L"interrupted (Ctrl+C)"};
  m_callStack.emplace_back(name);
  m_watchdog.Arm(name, m_timeoutMs + extraMs);
}

void CheckSession::LeaveCall() {
  m_watchdog.Disarm();
  m_callStack.pop_back();
}

void CheckSession::CheckFired() const {
  if (m_watchdog.Fired()) throw RunEnded{L"a call did not return in time"};
}
