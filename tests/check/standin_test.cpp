// QuillonCheck itself against the stand-in control: each simulated device
// keeps every rule its capabilities allow (the rest SKIP with the reason),
// label rules without a label source SKIP and never PASS, and the JUnit file
// and report say the same as the output.
#include "check/runner.h"
#include "check/statistics_xml.h"
#include "support/read_file.h"
#include "support/dialog_answerer.h"
#include "app/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>
#include <sstream>

namespace {

std::wstring CheckExePath() {
  std::wstring path = L"Z:";
  for (const char c : std::string(QUILLON_CHECK_UNIX_PATH))
    path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::wstring TempFile(const wchar_t *name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

struct Finished {
  DWORD status = 99;
  std::string output;
};

// Runs QuillonCheck with the arguments and collects its standard output;
// chooser, when given, answers the device chooser the program shows.
Finished RunCheck(const std::wstring &arguments, const DialogAnswerer::Action &chooser = nullptr) {
  Finished f;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) return f;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = write;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + CheckExePath() + L"\" " + arguments;
  const bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  CloseHandle(write);
  if (started) {
    std::unique_ptr<DialogAnswerer> answerer;
    if (chooser) answerer = std::make_unique<DialogAnswerer>(L"Open Service Object", chooser, pi.dwThreadId);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got)
      f.output.append(buffer, got);
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &f.status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read);
  return f;
}

struct DeviceRow {
  const wchar_t *arguments;
  std::set<std::wstring> skipped; // every other selected rule passes
  const char *skipReason;         // a reason one of them gives
};

const DeviceRow kDeviceRows[] = {
    {L"QuillonSim --feed --allow-writes",
     {L"health.interactive", L"stats.capability-gating"},
     "SKIP  health.interactive: needs --interactive"},
    {L"QuillonSimPlain --feed --allow-writes",
     {L"power.notify-while-enabled-106", L"health.interactive", L"stats.retrieve-parses", L"stats.unknown-name",
      L"stats.update-and-reset"},
     "SKIP  stats.retrieve-parses: CapStatisticsReporting is false"},
    {L"QuillonSim --only=events.*,data.*", {L"*"}, "needs a scan (run with --feed"},
};

class StandIn : public testing::TestWithParam<DeviceRow> {};

TEST_P(StandIn, KeepsEveryRuleItsCapabilitiesAllow) {
  const DeviceRow &row = GetParam();
  const std::wstring junit = TempFile(L"quillon_check_junit.xml");
  const std::wstring report = TempFile(L"quillon_check_report.txt");
  const Finished f =
      RunCheck(std::wstring(row.arguments) + L" \"--junit=" + junit + L"\" \"--report=" + report + L"\"");
  EXPECT_EQ(0u, f.status) << f.output;
  EXPECT_EQ(std::string::npos, f.output.find("FAIL")) << f.output;
  EXPECT_NE(std::string::npos, f.output.find(row.skipReason)) << f.output;

  CheckOptions options;
  std::wstring error;
  std::vector<std::wstring> args;
  std::wstringstream split(row.arguments);
  for (std::wstring a; split >> a;)
    args.push_back(a);
  ASSERT_TRUE(ParseCheckOptions(args, options, error));
  const auto rules = SelectRules(options);
  size_t skips = 0;
  for (const Rule *r : rules) {
    const bool skip = row.skipped.count(L"*") || row.skipped.count(r->id);
    skips += skip;
    const std::string line = (skip ? "SKIP  " : "PASS  ") + Utf8(r->id);
    EXPECT_NE(std::string::npos, f.output.find(line)) << line << "\n" << f.output;
  }
  const std::string summary =
      std::to_string(rules.size() - skips) + " passed, 0 failed, " + std::to_string(skips) + " skipped";
  EXPECT_NE(std::string::npos, f.output.find(summary)) << f.output;

  // The report keeps what was printed; the JUnit file parses and counts alike.
  const std::string kept = ReadFileBytes(report);
  EXPECT_NE(std::string::npos, kept.find("Service object: ")) << kept;
  EXPECT_NE(std::string::npos, kept.find(summary)) << kept;
  XmlElement root;
  const std::string xml = ReadFileBytes(junit);
  ASSERT_TRUE(ParseXml(std::wstring(xml.begin(), xml.end()), root, error)) << xml;
  const XmlElement *suite = root.Child(L"testsuite");
  ASSERT_NE(nullptr, suite);
  EXPECT_EQ(std::to_wstring(rules.size()), *suite->Attribute(L"tests"));
  EXPECT_EQ(L"0", *suite->Attribute(L"failures"));
  EXPECT_EQ(std::to_wstring(skips), *suite->Attribute(L"skipped"));
  EXPECT_EQ(rules.size(), suite->children.size());
  DeleteFileW(junit.c_str());
  DeleteFileW(report.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Devices, StandIn, testing::ValuesIn(kDeviceRows), [](const testing::TestParamInfo<DeviceRow> &row) {
      return std::string(row.index == 0 ? "QuillonSim" : row.index == 1 ? "QuillonSimPlain" : "NoLabelSource");
    });

TEST(StandIn, UnknownDeviceFailsWithExitStatusOne) {
  const Finished f = RunCheck(L"QuillonCheck.NoSuchDevice --only=lifecycle.state-values");
  EXPECT_EQ(1u, f.status) << f.output;
  EXPECT_NE(std::string::npos, f.output.find("FAIL  lifecycle.state-values: Open(\"QuillonCheck.NoSuchDevice\"): "
                                             "expected OPOS_SUCCESS, saw OPOS_E_NOEXIST"))
      << f.output;
  EXPECT_NE(std::string::npos, f.output.find("0 passed, 1 failed, 0 skipped")) << f.output;
}

// Started without arguments, as from a double-click: the chooser names the
// device, and the report goes to the Documents folder.
TEST(StandIn, WithoutArgumentsTheChooserNamesTheDeviceAndDocumentsKeepsTheReport) {
  const Finished f = RunCheck(L"", [](HWND dlg) {
    SetDlgItemTextW(dlg, IDC_SO_NAMES, L"QuillonSimPlain");
    DialogAnswerer::Press(dlg, IDOK);
  });
  EXPECT_EQ(0u, f.status) << f.output;
  EXPECT_NE(std::string::npos, f.output.find("device QuillonSimPlain")) << f.output;
  const size_t at = f.output.find("Report: ");
  ASSERT_NE(std::string::npos, at) << f.output;
  const std::string path = f.output.substr(at + 8, f.output.find_first_of("\r\n", at) - at - 8);
  EXPECT_NE(std::string::npos, path.find("\\Documents\\QuillonCheck QuillonSimPlain ")) << path;
  const std::wstring wide(path.begin(), path.end());
  EXPECT_NE(std::string::npos, ReadFileBytes(wide).find(" passed, 0 failed, ")) << path;
  DeleteFileW(wide.c_str());
}

} // namespace
