// Test support: drives the scanner control through IDispatch alone, records its
// events, writes the test devices' registry entries, and starts the programs
// the tests run beside it (scaninject, the claim helper).
#pragma once

#include "comkit/handles.h"
#include "comkit/object.h"
#include "control/inject/protocol.h"
#include "control/members.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <string>
#include <vector>

namespace quillon::control::test {

inline constexpr CLSID kClsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};

// The dispatch IDs by name, from the control's member table. Their published
// numbers are written out in typelib_test.cpp, which checks the type library
// and GetIDsOfNames against them.
using enum quillon::members::Id;

// Test devices, written under HKLM at the start of the test program.
inline constexpr wchar_t kFull[] = L"QuillonTestFull";
inline constexpr wchar_t kPlain[] = L"QuillonTestPlain";
inline constexpr wchar_t kStandardPower[] = L"QuillonTestStdPower";
inline constexpr wchar_t kBadService[] = L"QuillonTestBadService";
void WriteTestDevices();
// Takes them out again, so the chooser of the prefix offers only real devices.
void RemoveTestDevices();
// Writes them before the program's first test and takes them out after its
// last; a test program registers it once.
class TestDevices : public testing::Environment {
  void SetUp() override { WriteTestDevices(); }
  void TearDown() override { RemoveTestDevices(); }
};

// A windows path for a file of the build tree (which Wine maps to Z:).
std::wstring WindowsPath(const char *unixPath);

struct Event {
  DISPID id;
  std::vector<long> args;
  std::wstring scanData, scanDataLabel; // as read inside the handler
  long scanDataType = 0, dataCount = 0;
  bool dataEventEnabled = true;
};

class Scanner;

// An event sink: records each event with the control's state seen from inside
// the handler, and may re-arm DataEventEnabled there.
class Sink final : public comkit::Unowned<Sink, IDispatch> {
public:
  explicit Sink(Scanner &scanner) : m_scanner(scanner) {}
  STDMETHODIMP GetTypeInfoCount(UINT *n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *, EXCEPINFO *, UINT *) override;

  std::vector<Event> events;
  bool rearm = false;
  long errorResponse = 12;
  bool inHandler = false;

private:
  Scanner &m_scanner;
};

class Scanner {
public:
  Scanner();
  ~Scanner();
  Scanner(const Scanner &) = delete;
  Scanner &operator=(const Scanner &) = delete;

  IDispatch *Dispatch() const { return m_dispatch.Get(); }
  // Raw IDispatch::Invoke with arguments in call order.
  HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT *> args, VARIANT *result);

  long Call(DISPID id); // a method without arguments
  long Call(DISPID id, long a);
  long CallText(DISPID id, const wchar_t *s);
  long CallRef(DISPID id, std::wstring &inOut); // string by reference
  long DirectIO(long command, long &data, std::wstring &text);
  long GetLong(DISPID id);
  bool GetBool(DISPID id);
  std::wstring GetString(DISPID id);
  void Put(DISPID id, long value);
  void PutBool(DISPID id, bool value);

  // Open, claim and enable a device, with data events on.
  void Ready(const wchar_t *device, bool decode = true);
  // Pumps this thread's messages until pred() holds or ms pass.
  bool PumpUntil(const std::function<bool()> &pred, int ms = 3000);
  void Pump(int ms = 50);

  Sink sink{*this};

private:
  ComPtr<IDispatch> m_dispatch;
  ComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};

// The simulated device's injection channel, used in-process.
LRESULT Inject(const wchar_t *device, quillon::inject::Command command, const void *data, size_t size);
long InjectLabel(const wchar_t *device, long type, const std::string &data, const std::string &raw = {});
void InjectNumbers(const wchar_t *device, quillon::inject::Command command, long value, long extra = 0, long first = 0);

// A program a test starts beside itself. The holder closes its handles; a
// process still running then goes on.
class ChildProcess {
public:
  bool Start(std::wstring commandLine);
  // True once the process has ended, waiting up to ms.
  bool WaitForExit(DWORD ms) const;
  // Its exit code; STILL_ACTIVE while it runs.
  DWORD ExitCode() const;
  void Terminate(UINT code) const;

private:
  ScopedHandle m_process;
};

// Runs a program to its end; returns its exit code (0xFFFF when it did not
// start, 0xFFFE when it was ended after timeoutMs).
DWORD RunProgram(const std::wstring &commandLine, DWORD timeoutMs = 20000);

// The claim helper (claim_helper.cpp) in a process of its own: it opens and
// claims the device, says so, holds the claim for holdMs and closes.
class ClaimHelper {
public:
  ClaimHelper(const wchar_t *device, DWORD holdMs);
  // Whether the helper was started.
  bool Started() const { return m_started; }
  // True once the helper holds the claim, waiting up to ms.
  bool WaitUntilClaimed(DWORD ms = 15000) const;
  // Waits up to ms for the helper to end; its exit code (the claim's result
  // code), STILL_ACTIVE while it runs.
  DWORD WaitForExit(DWORD ms = 15000) const;

private:
  ScopedHandle m_ready;
  ChildProcess m_process;
  bool m_started = false;
};

} // namespace quillon::control::test
