// The serial scanner: one reader thread per open device. It waits for
// characters (WaitCommEvent on an overlapped handle, with a short poll as the
// fallback), drains the port with non-blocking reads, frames labels by the
// suffix and hands each to the sink. Line errors, labels cut short and a port
// that goes away become ErrorEvents and power states; a lost port is reopened
// every half second until it is back.
#include "control/serial_scanner.h"

#include "control/opos.h"

#include <algorithm>
#include <cwchar>
#include <system_error>
#include <vector>

namespace quillon {
namespace {

constexpr DWORD kReopenInterval = 500; // ms between attempts on a lost port
constexpr DWORD kWaitPoll = 50;        // ms: longest sleep while a wait is pending
constexpr DWORD kReadPoll = 5;         // ms between reads when WaitCommEvent does not work
constexpr DWORD kReadChunk = 4096;
constexpr DWORD kLineErrors = CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER | CE_BREAK;

std::wstring Upper(std::wstring s) {
  for (wchar_t &c : s)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return s;
}

// A setting given as REG_DWORD or as a decimal REG_SZ; false when malformed.
bool NumberSetting(const ServiceConfig &config, const wchar_t *name, DWORD fallback, DWORD &value) {
  const auto n = config.numbers.find(name);
  if (n != config.numbers.end()) {
    value = n->second;
    return true;
  }
  const auto t = config.texts.find(name);
  if (t == config.texts.end()) {
    value = fallback;
    return true;
  }
  const std::wstring &text = t->second;
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), iswdigit)) return false;
  value = static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
  return true;
}

// The text of a setting, a number given as REG_DWORD written out.
std::wstring TextSetting(const ServiceConfig &config, const wchar_t *name, const std::wstring &fallback) {
  const auto n = config.numbers.find(name);
  if (n != config.numbers.end()) return std::to_wstring(n->second);
  return config.Text(name, fallback);
}

bool ValidPort(const std::wstring &port) {
  if (port.size() < 4 || port.size() > 6 || port.compare(0, 3, L"COM") != 0) return false;
  const std::wstring digits = port.substr(3);
  if (!std::all_of(digits.begin(), digits.end(), iswdigit) || digits[0] == L'0') return false;
  return std::wcstoul(digits.c_str(), nullptr, 10) <= 255;
}

const wchar_t *ParityLetter(BYTE parity) {
  switch (parity) {
  case EVENPARITY:
    return L"E";
  case ODDPARITY:
    return L"O";
  case MARKPARITY:
    return L"M";
  case SPACEPARITY:
    return L"S";
  }
  return L"N";
}

const wchar_t *StopBitsText(BYTE stopBits) {
  return stopBits == TWOSTOPBITS ? L"2" : stopBits == ONE5STOPBITS ? L"1.5" : L"1";
}

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

bool ParseSerialSettings(const ServiceConfig &config, SerialSettings &s, std::wstring &problem) {
  s = SerialSettings{};
  s.port = Upper(config.Text(L"Port", L""));
  if (!ValidPort(s.port)) {
    problem = L"Port must be COM1 to COM255, not \"" + config.Text(L"Port", L"") + L"\"";
    return false;
  }
  DWORD n = 0;
  if (!NumberSetting(config, L"BaudRate", 9600, n) || n < 50 || n > 4000000) {
    problem = L"BaudRate must be a number from 50 to 4000000";
    return false;
  }
  s.baudRate = n;
  if (!NumberSetting(config, L"DataBits", 8, n) || n < 5 || n > 8) {
    problem = L"DataBits must be 5, 6, 7 or 8";
    return false;
  }
  s.dataBits = static_cast<BYTE>(n);
  const std::wstring parity = Upper(TextSetting(config, L"Parity", L"N"));
  if (parity == L"N" || parity == L"NONE")
    s.parity = NOPARITY;
  else if (parity == L"E" || parity == L"EVEN")
    s.parity = EVENPARITY;
  else if (parity == L"O" || parity == L"ODD")
    s.parity = ODDPARITY;
  else if (parity == L"M" || parity == L"MARK")
    s.parity = MARKPARITY;
  else if (parity == L"S" || parity == L"SPACE")
    s.parity = SPACEPARITY;
  else {
    problem = L"Parity must be N, E, O, M or S";
    return false;
  }
  const std::wstring stop = TextSetting(config, L"StopBits", L"1");
  if (stop == L"1")
    s.stopBits = ONESTOPBIT;
  else if (stop == L"1.5")
    s.stopBits = ONE5STOPBITS;
  else if (stop == L"2")
    s.stopBits = TWOSTOPBITS;
  else {
    problem = L"StopBits must be 1, 1.5 or 2";
    return false;
  }
  // A UART offers 1.5 stop bits with 5 data bits only, and 2 with 6 to 8.
  if ((s.stopBits == ONE5STOPBITS) != (s.dataBits == 5) && s.stopBits != ONESTOPBIT) {
    problem = L"StopBits 1.5 goes with DataBits 5 only, StopBits 2 with DataBits 6 to 8";
    return false;
  }
  if (!aim::ParseSuffix(TextSetting(config, L"Suffix", L"CR"), s.suffix)) {
    problem = L"Suffix must be CR, LF or CRLF";
    return false;
  }
  if (!NumberSetting(config, L"AimIds", 0, n) || n > 1) {
    problem = L"AimIds must be 0 or 1";
    return false;
  }
  s.aimIds = n != 0;
  if (!NumberSetting(config, L"LabelTimeout", 500, n) || n < 10 || n > 60000) {
    problem = L"LabelTimeout must be 10 to 60000 ms";
    return false;
  }
  s.labelTimeout = n;
  if (!NumberSetting(config, L"PowerReporting", opos::PR_ADVANCED, n) || n > opos::PR_ADVANCED) {
    problem = L"PowerReporting must be 0, 1 or 2";
    return false;
  }
  s.powerReporting = static_cast<long>(n);
  s.description = config.Text(L"Description", L"Quillon serial scanner");
  return true;
}

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
  m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!m_stop) {
    CloseHandle(port);
    return opos::E_FAILURE;
  }
  try {
    m_thread = std::thread([this, port] { Run(port); });
  } catch (const std::system_error &) {
    CloseHandle(port);
    CloseHandle(m_stop);
    m_stop = nullptr;
    return opos::E_FAILURE;
  }
  return opos::SUCCESS;
}

void SerialScanner::Close() {
  if (m_thread.joinable()) {
    SetEvent(m_stop);
    m_thread.join();
  }
  if (m_stop) CloseHandle(m_stop);
  m_stop = nullptr;
  m_sink = nullptr;
  m_enabled = false;
}

SerialScanner::PortResult SerialScanner::OpenPort(HANDLE &port) const {
  const std::wstring path = L"\\\\.\\" + m_settings.port;
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PortResult::Missing;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    CloseHandle(h);
    return PortResult::Missing;
  }
  dcb.BaudRate = m_settings.baudRate;
  dcb.ByteSize = m_settings.dataBits;
  dcb.Parity = m_settings.parity;
  dcb.StopBits = m_settings.stopBits;
  dcb.fBinary = TRUE;
  dcb.fParity = m_settings.parity != NOPARITY;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(h, &dcb)) {
    CloseHandle(h);
    return PortResult::BadSettings;
  }
  // Reads return at once with what has arrived.
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  SetupComm(h, 16384, 4096);
  if (!SetCommTimeouts(h, &timeouts)) {
    CloseHandle(h);
    return PortResult::Missing;
  }
  SetCommMask(h, EV_RXCHAR | EV_ERR);
  PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);
  DWORD errors = 0;
  ClearCommError(h, &errors, nullptr); // errors from before we opened are not ours
  port = h;
  return PortResult::Ok;
}

void SerialScanner::SetPower(long power) {
  if (m_power.exchange(power) != power) m_sink->OnPowerState(power);
}

// The reader thread: serves the port, and when it is lost reopens it.
void SerialScanner::Run(HANDLE port) {
  aim::Framer framer(m_settings.suffix);
  for (;;) {
    const bool stopping = !Serve(port, framer);
    SetCommMask(port, 0);
    CancelIo(port);
    CloseHandle(port);
    port = INVALID_HANDLE_VALUE;
    if (stopping) return;
    // Lost: what was begun of a label is gone with it.
    if (const size_t cut = framer.DropPending()) m_sink->OnInputError(opos::E_TIMEOUT, static_cast<long>(cut));
    SetPower(opos::PS_OFFLINE);
    for (;;) {
      if (WaitForSingleObject(m_stop, kReopenInterval) == WAIT_OBJECT_0) return;
      if (OpenPort(port) == PortResult::Ok) break;
    }
    SetPower(opos::PS_ONLINE);
  }
}

void SerialScanner::Deliver(aim::Framer::Output out) {
  for (std::string &raw : out.labels) {
    Label label;
    if (m_settings.aimIds) {
      aim::Decoded d = aim::DecodeAim(raw);
      label.type = d.type;
      label.data = std::move(d.data);
    } else {
      label.data = raw;
    }
    label.raw = std::move(raw);
    m_sink->OnLabel(std::move(label));
  }
  for (size_t i = 0; i < out.overruns; ++i)
    m_sink->OnInputError(opos::E_FAILURE, CE_RXOVER);
}

bool SerialScanner::Serve(HANDLE port, aim::Framer &framer) {
  HANDLE waitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  struct Closer {
    HANDLE a, b;
    ~Closer() {
      if (a) CloseHandle(a);
      if (b) CloseHandle(b);
    }
  } closer{waitEvent, readEvent};
  if (!waitEvent || !readEvent) return WaitForSingleObject(m_stop, kReopenInterval) != WAIT_OBJECT_0;

  OVERLAPPED waitOv{};
  waitOv.hEvent = waitEvent;
  DWORD mask = 0;
  bool waitPending = false;
  bool useWait = true;
  // Only a name that was there when the port opened can be seen to go away.
  const bool watchName = LookUpPortName(m_settings.port) == PortName::Listed;
  ULONGLONG lastByte = GetTickCount64();
  ULONGLONG lastCheck = lastByte;
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
    const HANDLE handles[] = {m_stop, waitEvent};
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
      if (errors & kLineErrors) m_sink->OnInputError(opos::E_FAILURE, static_cast<long>(errors & kLineErrors));
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
        const HANDLE pair[] = {m_stop, readEvent};
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
      lastByte = GetTickCount64();
      Deliver(framer.Feed(std::string_view(buffer.data(), got)));
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

    if (framer.Pending() && now - lastByte >= m_settings.labelTimeout) {
      const size_t cut = framer.DropPending();
      m_sink->OnInputError(opos::E_TIMEOUT, static_cast<long>(cut));
    }
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

std::wstring SerialScanner::PhysicalDeviceName() const {
  return m_settings.port + L" " + std::to_wstring(m_settings.baudRate) + L" " + std::to_wstring(m_settings.dataBits) +
         ParityLetter(m_settings.parity) + StopBitsText(m_settings.stopBits);
}

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

} // namespace quillon
