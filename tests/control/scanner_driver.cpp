#include "scanner_driver.h"

#include "control/inject/client.h"

namespace quillon::control::test {

namespace {

void SetDevice(const wchar_t *name, const wchar_t *service, DWORD power, DWORD stats, DWORD directIO) {
  const std::wstring path = std::wstring(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\") + name;
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE));
  RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(service),
                 static_cast<DWORD>((wcslen(service) + 1) * sizeof(wchar_t)));
  const std::pair<const wchar_t *, DWORD> numbers[] = {
      {L"DemoInterval", 0}, {L"PowerReporting", power}, {L"Statistics", stats}, {L"DirectIO", directIO}};
  for (const auto &[valueName, value] : numbers)
    RegSetValueExW(key.Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
  // Fresh statistics and attributes for every run.
  RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Quillon\\SimulatedScanner\\") + name).c_str());
}

} // namespace

void RemoveTestDevices() {
  for (const wchar_t *name : {kFull, kPlain, kStandardPower, kBadService}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   (std::wstring(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\") + name).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Quillon\\SimulatedScanner\\") + name).c_str());
  }
}

void WriteTestDevices() {
  SetDevice(kFull, L"Quillon.SimulatedScanner", 2, 1, 1);
  SetDevice(kPlain, L"Quillon.SimulatedScanner", 0, 0, 0);
  SetDevice(kStandardPower, L"Quillon.SimulatedScanner", 1, 0, 0);
  SetDevice(kBadService, L"No.Such.Service", 0, 0, 0);
}

std::wstring WindowsPath(const char *unixPath) {
  std::wstring out = L"Z:";
  for (const char *p = unixPath; *p; ++p)
    out += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return out;
}

STDMETHODIMP Sink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *, EXCEPINFO *, UINT *) {
  EXPECT_FALSE(inHandler) << "an event arrived inside another event's handler";
  inHandler = true;
  Event e{id, {}};
  for (UINT i = params->cArgs; i-- > 0;) {
    VARIANT &v = params->rgvarg[i];
    if (V_VT(&v) == VT_I4)
      e.args.push_back(V_I4(&v));
    else if (V_VT(&v) == (VT_BYREF | VT_I4)) {
      e.args.push_back(*V_I4REF(&v));
      if (id == 3) *V_I4REF(&v) = errorResponse;
    }
  }
  e.scanData = m_scanner.GetString(ScanData);
  e.scanDataLabel = m_scanner.GetString(ScanDataLabel);
  e.scanDataType = m_scanner.GetLong(ScanDataType);
  e.dataCount = m_scanner.GetLong(DataCount);
  e.dataEventEnabled = m_scanner.GetBool(DataEventEnabled);
  events.push_back(std::move(e));
  if (rearm && (id == 1 || id == 3)) m_scanner.PutBool(DataEventEnabled, true);
  inHandler = false;
  return S_OK;
}

Scanner::Scanner() {
  HRESULT hr = CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, m_dispatch.PutVoid());
  if (FAILED(hr)) {
    ADD_FAILURE() << "the control is not registered in this prefix: " << std::hex << hr;
    return;
  }
  ComPtr<IConnectionPointContainer> cpc;
  ComPtr<IProvideClassInfo2> pci;
  GUID source{};
  EXPECT_EQ(S_OK, m_dispatch.As(pci));
  EXPECT_EQ(S_OK, pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_EQ(S_OK, m_dispatch.As(cpc));
  EXPECT_EQ(S_OK, cpc->FindConnectionPoint(source, &m_point));
  EXPECT_EQ(S_OK, m_point->Advise(&sink, &m_cookie));
}

Scanner::~Scanner() {
  if (m_point) m_point->Unadvise(m_cookie);
}

HRESULT Scanner::Invoke(DISPID id, WORD flags, std::vector<VARIANT *> args, VARIANT *result) {
  std::vector<VARIANT> reversed;
  for (size_t i = args.size(); i-- > 0;)
    reversed.push_back(*args[i]);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    dp.rgdispidNamedArgs = &put;
    dp.cNamedArgs = 1;
  }
  UINT argErr = 0;
  const HRESULT hr = m_dispatch->Invoke(id, IID_NULL, 0, flags, &dp, result, nullptr, &argErr);
  for (size_t i = 0; i < args.size(); ++i)
    *args[i] = reversed[args.size() - 1 - i]; // by-value changes, if any
  return hr;
}

static long ResultOf(HRESULT hr, VARIANT &r) {
  EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(VT_I4, V_VT(&r));
  return V_I4(&r);
}

long Scanner::Call(DISPID id) {
  ScopedVariant r;
  return ResultOf(Invoke(id, DISPATCH_METHOD, {}, &r), r.Get());
}

long Scanner::Call(DISPID id, long a) {
  ScopedVariant r;
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = a;
  return ResultOf(Invoke(id, DISPATCH_METHOD, {&v}, &r), r.Get());
}

long Scanner::CallText(DISPID id, const wchar_t *s) {
  ScopedVariant r;
  ScopedBstr b(s);
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = b.Get();
  return ResultOf(Invoke(id, DISPATCH_METHOD, {&v}, &r), r.Get());
}

long Scanner::CallRef(DISPID id, std::wstring &inOut) {
  ScopedVariant r;
  ScopedBstr b;
  b.Reset(SysAllocStringLen(inOut.data(), static_cast<UINT>(inOut.size())));
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&v) = b.InOut();
  const long rc = ResultOf(Invoke(id, DISPATCH_METHOD, {&v}, &r), r.Get());
  inOut.assign(b.Get() ? b.Get() : L"", b.Length());
  return rc;
}

long Scanner::DirectIO(long command, long &data, std::wstring &text) {
  ScopedVariant r;
  ScopedBstr b;
  b.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  VARIANT c, d, s;
  V_VT(&c) = VT_I4;
  V_I4(&c) = command;
  V_VT(&d) = VT_BYREF | VT_I4;
  V_I4REF(&d) = &data;
  V_VT(&s) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&s) = b.InOut();
  const long rc = ResultOf(Invoke(36, DISPATCH_METHOD, {&c, &d, &s}, &r), r.Get());
  text.assign(b.Get() ? b.Get() : L"", b.Length());
  return rc;
}

long Scanner::GetLong(DISPID id) {
  ScopedVariant r;
  EXPECT_EQ(S_OK, Invoke(id, DISPATCH_PROPERTYGET, {}, &r));
  EXPECT_EQ(VT_I4, V_VT(&r.Get()));
  return V_I4(&r.Get());
}

bool Scanner::GetBool(DISPID id) {
  ScopedVariant r;
  EXPECT_EQ(S_OK, Invoke(id, DISPATCH_PROPERTYGET, {}, &r));
  EXPECT_EQ(VT_BOOL, V_VT(&r.Get()));
  EXPECT_TRUE(V_BOOL(&r.Get()) == VARIANT_TRUE || V_BOOL(&r.Get()) == VARIANT_FALSE);
  return V_BOOL(&r.Get()) == VARIANT_TRUE;
}

std::wstring Scanner::GetString(DISPID id) {
  ScopedVariant r;
  EXPECT_EQ(S_OK, Invoke(id, DISPATCH_PROPERTYGET, {}, &r));
  EXPECT_EQ(VT_BSTR, V_VT(&r.Get()));
  return V_BSTR(&r.Get()) ? std::wstring(V_BSTR(&r.Get()), SysStringLen(V_BSTR(&r.Get()))) : std::wstring();
}

void Scanner::Put(DISPID id, long value) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  EXPECT_EQ(S_OK, Invoke(id, DISPATCH_PROPERTYPUT, {&v}, nullptr));
}

void Scanner::PutBool(DISPID id, bool value) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  EXPECT_EQ(S_OK, Invoke(id, DISPATCH_PROPERTYPUT, {&v}, nullptr));
}

void Scanner::Ready(const wchar_t *device, bool decode) {
  ASSERT_EQ(0, CallText(Open, device));
  ASSERT_EQ(0, Call(ClaimDevice, 1000));
  PutBool(DeviceEnabled, true);
  ASSERT_EQ(0, GetLong(ResultCode));
  PutBool(DecodeData, decode);
  PutBool(DataEventEnabled, true);
}

bool Scanner::PumpUntil(const std::function<bool()> &pred, int ms) {
  const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
    if (pred()) return true;
    if (GetTickCount64() >= until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void Scanner::Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

LRESULT Inject(const wchar_t *device, quillon::inject::Command command, const void *data, size_t size) {
  const HWND h = quillon::inject::FindFirstWindow(device);
  EXPECT_NE(nullptr, h) << "no injection window for the device";
  if (!h) return 0;
  return quillon::inject::Send(h, command, data, size).reply;
}

long InjectLabel(const wchar_t *device, long type, const std::string &data, const std::string &raw) {
  const std::string payload =
      quillon::inject::LabelPayload(static_cast<std::int32_t>(type), data, raw.empty() ? data : raw);
  return static_cast<long>(Inject(device, quillon::inject::Labels, payload.data(), payload.size()));
}

void InjectNumbers(const wchar_t *device, quillon::inject::Command command, long value, long extra, long first) {
  const quillon::inject::Numbers n{value, extra, first};
  Inject(device, command, &n, sizeof n);
}

bool ChildProcess::Start(std::wstring commandLine) {
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  const ScopedHandle thread(pi.hThread);
  m_process.Reset(pi.hProcess);
  return true;
}

bool ChildProcess::WaitForExit(DWORD ms) const { return WaitForSingleObject(m_process.Get(), ms) == WAIT_OBJECT_0; }

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(m_process.Get(), &code);
  return code;
}

void ChildProcess::Terminate(UINT code) const { TerminateProcess(m_process.Get(), code); }

DWORD RunProgram(const std::wstring &commandLine, DWORD timeoutMs) {
  ChildProcess program;
  if (!program.Start(commandLine)) return 0xFFFF;
  if (program.WaitForExit(timeoutMs)) return program.ExitCode();
  program.Terminate(0xFFFD);
  return 0xFFFE;
}

ClaimHelper::ClaimHelper(const wchar_t *device, DWORD holdMs)
    : m_ready(CreateEventW(nullptr, TRUE, FALSE, L"QuillonClaimHelperReady")) {
  m_started =
      m_ready && m_process.Start(WindowsPath(QUILLON_CLAIM_HELPER) + L" " + device + L" " + std::to_wstring(holdMs));
}

bool ClaimHelper::WaitUntilClaimed(DWORD ms) const { return WaitForSingleObject(m_ready.Get(), ms) == WAIT_OBJECT_0; }

DWORD ClaimHelper::WaitForExit(DWORD ms) const {
  m_process.WaitForExit(ms);
  return m_process.ExitCode();
}

} // namespace quillon::control::test
