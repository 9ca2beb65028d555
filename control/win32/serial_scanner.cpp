// The serial scanner: one reader thread per open device. It waits for
// characters (WaitCommEvent on an overlapped handle, with a short poll as the
// fallback), drains the port with non-blocking reads and hands the bytes to
// SerialInput, which frames and decodes them. Line errors, labels cut short
// and a port that goes away become ErrorEvents and power states; a lost port
// is reopened every half second until it is back. Nothing thrown on the
// thread leaves it.
#include "control/win32/serial_scanner.h"

#include "control/core/opos.h"
#include "control/services/health_check.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace quillon::control {
namespace {

constexpr DWORD kReopenInterval = 500; // ms between attempts on a lost port
constexpr DWORD kWaitPoll = 50;        // ms: longest sleep while a wait is pending
constexpr DWORD kReadPoll = 5;         // ms between reads when WaitCommEvent does not work
constexpr DWORD kReadChunk = 4096;

// Whether the system lists the port's device name. Windows lists every COM
// port and drops the name of a USB adapter that is pulled; Wine lists only the
// ports it found when it started, not one linked into the prefix later, so a
// name that was not listed to begin with tells nothing.
enum class PortName { Listed, Missing, Unknown };
PortName LookUpPortName(const std::wstring &port) {
  wchar_t target[1024];
  if (QueryDosDeviceW(port.c_str(), target, static_cast<DWORD>(std::size(target)))) return PortName::Listed;
  const DWORD e = GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? PortName::Missing : PortName::Unknown;
}

} // namespace

SerialScanner::~SerialScanner() { Close(); }

// ---- life cycle ---------------------------------------------------------------

long SerialScanner::Open(const ServiceConfig &config, IServiceSink *sink) {
  std::wstring problem;
  if (!ParseSerialSettings(config, m_settings, problem)) {
    OutputDebugStringW((L"Quillon serial scanner " + config.deviceName + L": " + problem + L"\n").c_str());
    return opos::E_NOSERVICE;
  }
  HANDLE port = INVALID_HANDLE_VALUE;
  switch (OpenPort(port)) {
  case PortResult::Ok:
    break;
  case PortResult::Missing:
    return opos::E_NOHARDWARE;
  case PortResult::BadSettings:
    return opos::E_NOSERVICE;
  }
  m_sink = sink;
  m_power = opos::PS_ONLINE;
  ScopedHandle owned(port); // the reader thread's once it runs
  m_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!m_stop) return opos::E_FAILURE;
  try {
    m_thread = std::thread([this, port] { Run(port); });
    owned.Detach();
  } catch (const std::system_error &) {
    m_stop.Reset();
    return opos::E_FAILURE;
  }
  return opos::SUCCESS;
}

void SerialScanner::Close() {
  if (m_thread.joinable()) {
    SetEvent(m_stop.Get());
    m_thread.join();
  }
  m_stop.Reset();
  m_sink = nullptr;
  m_enabled = false;
}

SerialScanner::PortResult SerialScanner::OpenPort(HANDLE &port) const {
  const std::wstring path = L"\\\\.\\" + m_settings.port;
  ScopedHandle owned(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
  if (!owned) return PortResult::Missing;
  const HANDLE h = owned.Get();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) return PortResult::Missing;
  dcb.BaudRate = m_settings.baudRate;
  dcb.ByteSize = m_settings.dataBits;
  dcb.Parity = static_cast<BYTE>(m_settings.parity);
  dcb.StopBits = static_cast<BYTE>(m_settings.stopBits);
  dcb.fBinary = TRUE;
  dcb.fParity = m_settings.parity != Parity::None;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(h, &dcb)) return PortResult::BadSettings;
  // Reads return at once with what has arrived.
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  SetupComm(h, 16384, 4096);
  if (!SetCommTimeouts(h, &timeouts)) return PortResult::Missing;
  SetCommMask(h, EV_RXCHAR | EV_ERR);
  PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);
  DWORD errors = 0;
  ClearCommError(h, &errors, nullptr); // errors from before we opened are not ours
  port = owned.Detach();
  return PortResult::Ok;
}

void SerialScanner::SetPower(long power) {
  if (m_power.exchange(power) != power) m_sink->OnPowerState(power);
}

// The reader thread: serves the port, and when it is lost reopens it.
void SerialScanner::Run(HANDLE port) {
  try {
    SerialInput input(m_settings, *m_sink);
    for (;;) {
      const bool stopping = !Serve(port, input);
      SetCommMask(port, 0);
      CancelIo(port);
      CloseHandle(port);
      port = INVALID_HANDLE_VALUE;
      if (stopping) return;
      input.Lost();
      SetPower(opos::PS_OFFLINE);
      for (;;) {
        if (WaitForSingleObject(m_stop.Get(), kReopenInterval) == WAIT_OBJECT_0) return;
        if (OpenPort(port) == PortResult::Ok) break;
      }
      SetPower(opos::PS_ONLINE);
    }
  } catch (...) {
    // Out of memory on the reader thread: the device stops reading, the
    // application goes on. The port, if open, is closed.
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
  }
}

bool SerialScanner::Serve(HANDLE port, SerialInput &input) {
  const ScopedHandle waitOwned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const ScopedHandle readOwned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!waitOwned || !readOwned) return WaitForSingleObject(m_stop.Get(), kReopenInterval) != WAIT_OBJECT_0;
  const HANDLE waitEvent = waitOwned.Get(), readEvent = readOwned.Get();

  OVERLAPPED waitOv{};
  waitOv.hEvent = waitEvent;
  DWORD mask = 0;
  bool waitPending = false;
  bool useWait = true;
  // Only a name that was there when the port opened can be seen to go away.
  const bool watchName = LookUpPortName(m_settings.port) == PortName::Listed;
  ULONGLONG lastCheck = GetTickCount64();
  std::vector<char> buffer(kReadChunk);
  auto CancelWait = [&] {
    if (!waitPending) return;
    SetCommMask(port, 0);
    CancelIo(port);
    DWORD ignored = 0;
    GetOverlappedResult(port, &waitOv, &ignored, TRUE);
    waitPending = false;
  };

  for (;;) {
    if (useWait && !waitPending) {
      ResetEvent(waitEvent);
      if (WaitCommEvent(port, &mask, &waitOv))
        SetEvent(waitEvent);
      else if (GetLastError() == ERROR_IO_PENDING)
        waitPending = true;
      else
        useWait = false; // poll instead
    }
    const HANDLE handles[] = {m_stop.Get(), waitEvent};
    const DWORD r = WaitForMultipleObjects(useWait ? 2 : 1, handles, FALSE, useWait ? kWaitPoll : kReadPoll);
    if (r == WAIT_OBJECT_0) {
      CancelWait();
      return false;
    }
    if (r == WAIT_OBJECT_0 + 1 && waitPending) {
      DWORD ignored = 0;
      waitPending = false;
      // A wait that fails says nothing certain about the port (some serial
      // drivers abort it); the reads below do, so poll from here on.
      if (!GetOverlappedResult(port, &waitOv, &ignored, FALSE)) useWait = false;
    }

    // Drain what has arrived. Reads ask for no more than the driver holds, so
    // they complete at once (a read of an empty port may wait for data on
    // some drivers whatever the time-outs say); a read of nothing is normal.
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(port, &errors, &status)) {
        CancelWait();
        return true; // the port failed: unplugged
      }
      input.LineErrors(static_cast<long>(errors));
      if (status.cbInQue == 0) break;
      OVERLAPPED readOv{};
      readOv.hEvent = readEvent;
      ResetEvent(readEvent);
      DWORD got = 0;
      if (!ReadFile(port, buffer.data(), std::min(status.cbInQue, kReadChunk), &got, &readOv)) {
        if (GetLastError() != ERROR_IO_PENDING) {
          CancelWait();
          return true;
        }
        const HANDLE pair[] = {m_stop.Get(), readEvent};
        if (WaitForMultipleObjects(2, pair, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
          CancelIo(port);
          GetOverlappedResult(port, &readOv, &got, TRUE);
          CancelWait();
          return false;
        }
        if (!GetOverlappedResult(port, &readOv, &got, FALSE)) {
          CancelWait();
          return true;
        }
      }
      if (got == 0) break;
      input.Bytes(std::string_view(buffer.data(), got), GetTickCount64());
    }

    // A USB adapter unplugged may read as silence: the port's name going away
    // says it is gone. (A tty that hung up fails ClearCommError above.)
    const ULONGLONG now = GetTickCount64();
    if (watchName && now - lastCheck >= kReopenInterval) {
      lastCheck = now;
      if (LookUpPortName(m_settings.port) == PortName::Missing) {
        CancelWait();
        return true;
      }
    }

    input.Idle(now);
  }
}

// ---- description and the rest of the device's surface ---------------------------------

Capabilities SerialScanner::Caps() const {
  Capabilities caps;
  caps.powerReporting = m_settings.powerReporting;
  return caps;
}

std::wstring SerialScanner::ServiceDescription() const {
  return L"Quillon serial scanner service, labels framed by a suffix, AIM identifiers";
}

long SerialScanner::ServiceVersion() const { return 1014001; }

std::wstring SerialScanner::DeviceDescription() const { return m_settings.description; }

std::wstring SerialScanner::PhysicalDeviceName() const { return m_settings.LineText(); }

long SerialScanner::Enable(bool enable) {
  m_enabled = enable;
  return opos::SUCCESS;
}

long SerialScanner::CurrentPowerState() const { return m_power; }

long SerialScanner::CheckHealth(long level, std::wstring &text) {
  return HealthCheckText(level, m_power == opos::PS_ONLINE, false, text);
}

long SerialScanner::DirectIO(long, long &, std::wstring &, bool) { return opos::E_ILLEGAL; }

Result SerialScanner::RetrieveStatistics(std::wstring &) { return Result{opos::E_ILLEGAL, 0}; }
Result SerialScanner::UpdateStatistics(const std::wstring &) { return Result{opos::E_ILLEGAL, 0}; }
Result SerialScanner::ResetStatistics(const std::wstring &) { return Result{opos::E_ILLEGAL, 0}; }

} // namespace quillon::control
