// QuillonCheck: runs the rule catalogue against a scanner service object
// through the installed OPOS Scanner control object and reports what it keeps.
#include "common/std_output.h"
#include "check/runner.h"
#include "check/sources.h"
#include "chooser/open_so_dialog.h"
#include "version/version.h"

#include <shlobj.h>

#include <memory>

namespace {

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  g_checkInterrupted = true;
  return TRUE;
}

std::wstring Now(const wchar_t *format) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t text[64];
  swprintf(text, 64, format, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

// The report's default place: the user's Documents folder.
std::wstring DefaultReportPath(const std::wstring &device) {
  PWSTR folder = nullptr;
  std::wstring path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &folder)) && folder) path = folder;
  CoTaskMemFree(folder);
  if (path.empty()) return L"";
  SYSTEMTIME t;
  GetLocalTime(&t);
  return path + L"\\" + ReportFileName(device, t);
}

// Device, control object and service object, as far as they can be read.
std::wstring Header(CheckSession &session, const std::wstring &device, const CheckOptions &o, bool &hosted) {
  std::wstring h = L"QuillonCheck " QUILLON_VERSION_TEXT L" (" + std::to_wstring(sizeof(void *) * 8) +
                   L"bit), device " + device + Now(L", %04u-%02u-%02u %02u:%02u:%02u") + L"\n";
  h += std::wstring(L"Options:") + (o.feed ? L" --feed" : L"") + (o.interactive ? L" --interactive" : L"") +
       (o.allowWrites ? L" --allow-writes" : L"") + (o.feed || o.interactive || o.allowWrites ? L"" : L" none") + L"\n";
  std::wstring error;
  try {
    hosted = session.NewControl(error);
    if (!hosted) return h + L"Control object: " + error + L"\n";
    h += L"Control object: " + session.GetControlObjectDescription() + L" (version " +
         std::to_wstring(session.GetControlObjectVersion()) + L")\n";
    const long r = session.Open(device);
    if (r == 0) {
      h += L"Service object: " + session.GetServiceObjectDescription() + L" (version " +
           std::to_wstring(session.GetServiceObjectVersion()) + L")\nDevice: " + session.GetDeviceDescription() + L"\n";
      session.Close();
    } else {
      h += L"Open(\"" + device + L"\") answered " + ResultName(r) + L"\n";
    }
  } catch (const CDispatchException &e) {
    h += std::wstring(L"Reading the control failed: ") + static_cast<const wchar_t *>(e.m_strDescription) + L"\n";
  } catch (const RunEnded &) {
  }
  session.DestroyControl();
  return h;
}

int RunCheck(CheckOptions &o) {
  const std::vector<const Rule *> rules = SelectRules(o);
  if (rules.empty()) {
    WriteStandardOutput(L"QuillonCheck: no rule matches --only; QuillonCheck --list shows them all.\n");
    return 2;
  }
  if (o.device.empty()) {
    COpenSODialog chooser;
    if (chooser.DoModal() != IDOK || chooser.m_strName.IsEmpty()) {
      WriteStandardOutput(L"No device was chosen.\n");
      return 2;
    }
    o.device = static_cast<const wchar_t *>(chooser.m_strName);
  }
  if (o.reportPath.empty() && o.noArguments) o.reportPath = DefaultReportPath(o.device);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  // A simulated device's own sample labels would be counted as scans.
  auto quiet = std::make_unique<QuietSimulatedDevice>(o.device);
  std::unique_ptr<LabelSource> labels;
  if (o.feed) {
    labels = std::make_unique<FeedLabels>(o.device);
  } else if (o.interactive) {
    labels = std::make_unique<PromptForLabels>(o.scanTimeoutMs);
  } else {
    labels = std::make_unique<NoLabels>();
  }
  ProcessClaimHolder holder(o.device);
  CheckTimings timings;
  CheckRunner *runner = nullptr;
  Watchdog watchdog([&runner, &quiet](const std::wstring &call, unsigned ms) {
    if (runner) {
      runner->OnCallTimedOut(call, ms);
    } else {
      quiet->Restore();
      WriteStandardOutput(call + L" did not return within " + std::to_wstring(ms / 1000) + L" s; the check ends.\n");
    }
    TerminateProcess(GetCurrentProcess(), 1);
  });
  CheckSession session(watchdog, o.callTimeoutMs);
  CheckRunner run(o, timings, session, *labels, holder);
  run.beforeFinish = [&quiet] { quiet->Restore(); };
  bool hosted = false;
  run.header = Header(session, o.device, o, hosted);
  WriteStandardOutput(run.header);
  if (!hosted) { // no rule can run without the control object; the report still says why
    if (!o.reportPath.empty()) WriteUtf8File(o.reportPath, Utf8(run.header));
    return 2;
  }
  runner = &run;
  const int status = run.Run(rules);
  runner = nullptr;
  return status;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  CheckOptions o;
  std::wstring error;
  if (!ParseCheckOptions(args, o, error)) {
    WriteStandardOutput(L"QuillonCheck: " + error + L"\n" + kCheckUsage);
    return 2;
  }
  if (o.help) {
    WriteStandardOutput(kCheckUsage);
    return 0;
  }
  if (o.list) {
    WriteStandardOutput(CatalogueListing());
    return 0;
  }
  if (FAILED(OleInitialize(nullptr))) {
    WriteStandardOutput(L"QuillonCheck: OLE could not be started.\n");
    return 2;
  }
  int status = 2;
  try {
    status = o.holdDevice.empty() ? RunCheck(o) : HoldClaim(o.holdDevice, o.holdSignal, o.holdTimeout);
  } catch (const std::exception &) {
    WriteStandardOutput(L"QuillonCheck: the run ended on an unexpected error.\n");
  }
  OleUninitialize();
  return status;
}
