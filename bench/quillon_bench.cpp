// quillon_bench: measures how fast the real console keeps up with a scanner.
// It starts Quillon.exe, drives it from outside through window messages as a
// user would, feeds the simulated device through its injection window, and
// prints a table of figures. Usage: quillon_bench [DEVICE] [--quick]
// DEVICE is a simulated device entry (default QuillonBench, which
// scripts/bench.sh registers without the demo feed so that no demo label
// mixes with the measured ones).
#include "support/console_process.h"

#include "app/resource.h"
#include "control/inject_protocol.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace std::chrono_literals;
namespace inject = quillon::inject;

namespace {

std::wstring g_device = L"QuillonBench";
bool g_quick = false;
std::wstring g_only; // --only=throughput|latency|memory|startup: that part alone
bool Runs(const wchar_t *part) { return g_only.empty() || g_only == part; }

// ---- time ---------------------------------------------------------------------

double Now() { // seconds
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / frequency;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

std::string Narrow(const std::wstring &w) {
  std::string s;
  for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
  return s;
}

// ---- the table ------------------------------------------------------------------

struct Row {
  std::string name, figure, target, verdict;
};
std::vector<Row> g_rows;

std::string Format(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Format(const char *format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void AddRow(const std::string &name, const std::string &figure, const std::string &target, const char *verdict) {
  g_rows.push_back({name, figure, target, verdict});
  printf("  %s: %s (%s) %s\n", name.c_str(), figure.c_str(), target.c_str(), verdict);
  fflush(stdout);
}

const char *Verdict(bool met) { return met ? "met" : "MISSED"; }

void PrintTable() {
  size_t w[3] = {4, 6, 6};
  for (const Row &r : g_rows) {
    w[0] = std::max(w[0], r.name.size());
    w[1] = std::max(w[1], r.figure.size());
    w[2] = std::max(w[2], r.target.size());
  }
  auto line = [&](const std::string &a, const std::string &b, const std::string &c, const std::string &d) {
    printf("| %-*s | %-*s | %-*s | %s\n", int(w[0]), a.c_str(), int(w[1]), b.c_str(), int(w[2]), c.c_str(), d.c_str());
  };
  printf("\n");
  line("what", "figure", "target", "result");
  line(std::string(w[0], '-'), std::string(w[1], '-'), std::string(w[2], '-'), "------");
  for (const Row &r : g_rows) line(r.name, r.figure, r.target, r.verdict);
  fflush(stdout);
}

void Note(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Note(const char *format, ...) {
  va_list args;
  va_start(args, format);
  printf("  ");
  vprintf(format, args);
  printf("\n");
  va_end(args);
  fflush(stdout);
}

// ---- the console with the device open ---------------------------------------------

class Bench {
public:
  // Starts the console, opens, claims and enables the device, turns
  // DecodeData on (field 1016 shows the decoded label) and ticks Auto Enable.
  bool Start() {
    if (!m_console.Start() || !m_console.WaitForMainWindow()) return Fail("the console did not start");
    m_main = m_console.MainWindow();
    m_console.Click(IDC_OPEN); // posted: the chooser is modal
    const HWND chooser = m_console.WaitForWindow(L"Open Service Object", 10s);
    if (!chooser) return Fail("no chooser");
    const HWND names = GetDlgItem(chooser, IDC_SO_NAMES);
    const LRESULT index =
        SendMessageW(names, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(g_device.c_str()));
    if (index == CB_ERR) return Fail("the device is not offered by the chooser");
    SelectComboEntry(chooser, IDC_SO_NAMES, static_cast<int>(index));
    PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
    if (!WaitUntil([&] { return m_console.Text(IDC_RETURN_VALUE) == L"OPOS_SUCCESS"; }, 10s)) return Fail("Open failed");
    for (int id : {IDC_CLAIM, IDC_DEVICE_ENABLE, IDC_DECODE_DATA}) {
      Press(id);
      if (m_console.Text(IDC_RETURN_VALUE) != L"OPOS_SUCCESS") return Fail("Claim, Device Enable or Decode Data failed");
    }
    if (m_console.Check(IDC_AUTO_ENABLE) != BST_CHECKED) Press(IDC_AUTO_ENABLE);
    if (m_console.Check(IDC_AUTO_ENABLE) != BST_CHECKED) return Fail("Auto Enable does not tick");
    m_injector = FindWindowExW(HWND_MESSAGE, nullptr, inject::kInjectClass, g_device.c_str());
    if (!m_injector) return Fail("no injection window for the device");
    m_label = GetDlgItem(m_main, IDC_SCAN_DATA_LABEL);
    return true;
  }

  void Press(int nID) const { SendMessageW(GetDlgItem(m_main, nID), BM_CLICK, 0, 0); }

  // Injects COUNT numbered labels from FIRST; returns the number taken.
  long Burst(long count, long first) const {
    inject::Numbers n{static_cast<std::int32_t>(count), 110 /* Code 128 */, static_cast<std::int32_t>(first)};
    return Send(inject::Burst, &n, sizeof n);
  }
  long Send(inject::Command command, const void *data, size_t size) const {
    COPYDATASTRUCT cds{command, static_cast<DWORD>(size), const_cast<void *>(data)};
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutW(m_injector, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, 60000, &reply))
      return -1;
    return static_cast<long>(reply);
  }

  long ScanCount() const { return std::wcstol(m_console.Text(IDC_SCAN_COUNT).c_str(), nullptr, 10); }
  std::wstring Label() const { return WindowText(m_label); }

  // Waits until Scan Count reaches `count`, polling each millisecond.
  bool WaitForCount(long count, std::chrono::milliseconds timeout) const {
    const double until = Now() + static_cast<double>(timeout.count()) / 1000;
    for (;;) {
      if (ScanCount() >= count) return true;
      if (Now() > until) return false;
      Sleep(1);
    }
  }

  SIZE_T PrivateBytes() const {
    const HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_console.ProcessId());
    if (!h) return 0;
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    const BOOL ok = GetProcessMemoryInfo(h, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&pmc), sizeof pmc);
    CloseHandle(h);
    return ok ? pmc.PrivateUsage : 0;
  }

  ConsoleProcess m_console;
  HWND m_main = nullptr;
  HWND m_injector = nullptr;
  HWND m_label = nullptr;
  bool Fail(const char *what) {
    Note("setup failed: %s", what);
    return false;
  }
};

std::wstring BurstLabel(long number) {
  wchar_t text[16];
  swprintf(text, 16, L"QB%08ld", number);
  return text;
}

// ---- 1. throughput ----------------------------------------------------------------

void Throughput(Bench &b) {
  const long kCount = 20000;
  const long base = b.ScanCount();
  const long first = 1;
  const double t0 = Now();
  const long taken = b.Burst(kCount, first);
  const double tSent = Now();
  const bool reached = b.WaitForCount(base + kCount, g_quick ? 10s : 120s);
  const double t1 = Now();
  Sleep(300); // anything beyond the burst would show by now
  const long shown = b.ScanCount() - base;
  const std::wstring last = b.Label();
  const std::wstring want = BurstLabel(first + kCount - 1);
  const double rate = reached ? kCount / (t1 - t0) : 0;
  Note("burst of %ld: %ld taken by the device in %.1f ms; Scan Count +%ld after %.1f ms; last label %s",
       kCount, taken, (tSent - t0) * 1000, shown, (t1 - t0) * 1000, Narrow(last).c_str());
  const bool intact = taken == kCount && shown == kCount && last == want;
  AddRow("1 throughput, 20,000 labels, Auto Enable", Format("%.0f labels/s", rate), ">= 20,000 labels/s",
         Verdict(reached && rate >= 20000));
  AddRow("1 lost labels (count, last label)",
         Format("%ld lost, Scan Count +%ld, last %s", kCount - shown, shown, Narrow(last).c_str()),
         Format("0 lost, last %s", Narrow(want).c_str()), Verdict(intact));
}

// ---- 2. latency ---------------------------------------------------------------------

HWND g_watched = nullptr;
double g_changedAt = 0;
long g_changes = 0;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG, LONG, DWORD, DWORD) {
  if (hwnd != g_watched) return;
  g_changedAt = Now();
  ++g_changes;
}

// Pumps this thread's messages (out-of-context WinEvents arrive as messages)
// until pred() holds or the time-out passes.
template <class Pred> bool PumpUntil(Pred pred, double seconds) {
  const double until = Now() + seconds;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (pred()) return true;
    const double left = until - Now();
    if (left <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left * 1000, 50.0)) + 1, QS_ALLINPUT);
  }
}

void Latency(Bench &b) {
  const int kLabels = g_quick ? 100 : 500, kWarmUp = 20;
  const long firstNumber = 50000000;
  g_watched = b.m_label;
  const HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, OnWinEvent, b.m_console.ProcessId(),
                      0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);

  // Does the hook see the field change? Otherwise poll its text.
  bool hooked = false;
  if (hook) {
    const long before = g_changes;
    b.Burst(1, firstNumber - 1);
    hooked = PumpUntil([&] { return g_changes > before; }, 1.0);
    PumpUntil([] { return false; }, 0.05);
  }
  Note("latency measured by %s", hooked ? "a WinEvent hook on the field (out of context)"
                                        : "polling the field's text (WM_GETTEXT)");
  std::vector<double> samples;
  long missing = 0, wrong = 0;
  for (int i = 0; i < kWarmUp + kLabels; ++i) {
    const long number = firstNumber + i;
    const std::wstring want = BurstLabel(number);
    double seen = 0;
    const long before = g_changes;
    if (b.Burst(1, number) != 1) {
      ++missing;
      continue;
    }
    const double sent = Now();
    if (hooked) {
      if (!PumpUntil([&] { return g_changes > before; }, 2.0)) {
        ++missing;
        continue;
      }
      seen = g_changedAt;
      if (b.Label() != want) ++wrong;
    } else {
      const double until = sent + 2.0;
      while (b.Label() != want && Now() < until) {
      }
      seen = Now();
      if (b.Label() != want) {
        ++missing;
        continue;
      }
    }
    // The change event can be queued before SendMessage returns to this thread.
    if (i >= kWarmUp) samples.push_back(std::max(0.0, seen - sent) * 1000);
    Sleep(2); // one label at a time, as a person scans
  }
  if (hook) UnhookWinEvent(hook);
  const double median = Percentile(samples, 0.5), p99 = Percentile(samples, 0.99);
  Note("%d samples, min %.3f ms, max %.3f ms; %ld not shown, %ld showed other text", int(samples.size()),
       samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end()),
       samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end()), missing, wrong);
  const bool complete = missing == 0 && wrong == 0;
  AddRow(Format("2 latency median, %d single labels", kLabels), Format("%.3f ms", median), "< 2 ms",
         Verdict(complete && median < 2));
  AddRow("2 latency 99th percentile", Format("%.3f ms", p99), "< 10 ms", Verdict(complete && p99 < 10));
}

// ---- 4. memory ------------------------------------------------------------------------

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }
double MiBDiff(SIZE_T after, SIZE_T before) {
  return (static_cast<double>(after) - static_cast<double>(before)) / (1024.0 * 1024.0);
}

bool InjectAndWait(Bench &b, long count, long first) {
  const long base = b.ScanCount();
  for (long done = 0; done < count;) {
    const long chunk = std::min(count - done, 20000L);
    if (b.Burst(chunk, first + done) != chunk) return false;
    done += chunk;
    if (!b.WaitForCount(base + done, 60s)) return false;
  }
  return b.Label() == BurstLabel(first + count - 1);
}

void Memory() {
  Bench b;
  if (!b.Start()) {
    AddRow("4 memory", "not measured: the console did not open the device", "", "MISSED");
    return;
  }
  const long kFirst = 100, kMore = g_quick ? 19000 : 99000;
  bool ok = InjectAndWait(b, 1000, kFirst);
  Sleep(200);
  const SIZE_T at1k = b.PrivateBytes();
  ok = ok && InjectAndWait(b, kMore, kFirst + 1000);
  Sleep(200);
  const SIZE_T at100k = b.PrivateBytes();
  Note("private bytes: %.2f MiB after 1,000 labels, %.2f MiB after %ld labels%s", MiB(at1k), MiB(at100k),
       1000 + kMore, ok ? "" : " (some labels were not shown)");
  AddRow(Format("4 memory growth, 1,000 -> %ld labels", 1000 + kMore),
         Format("%+.3f MiB (%.2f -> %.2f MiB)", MiBDiff(at100k, at1k), MiB(at1k), MiB(at100k)), "< 1 MiB",
         Verdict(ok && at1k && MiBDiff(at100k, at1k) < 1.0));

  // Direct IO: GET_SCANNERS (entry 0) answers with a 64 KiB comment appended
  // while the device pads its texts. Output is cleared before each call so
  // that the reply is written into the field every time.
  const inject::Numbers length{65536, 0, 0};
  const bool padded = b.Send(inject::LongStrings, &length, sizeof length) == 1;
  b.m_console.Select(IDC_DIRECTIO_COMMAND, 0);
  b.Press(IDC_DIRECTIO_CLEAR);
  b.Press(IDC_DIRECTIO_EXECUTE);
  const HWND output = GetDlgItem(b.m_main, IDC_DIRECTIO_OUTPUT);
  const LRESULT replyLength = SendMessageW(output, WM_GETTEXTLENGTH, 0, 0);
  Sleep(100);
  const SIZE_T atFirstCall = b.PrivateBytes();
  const int kCalls = g_quick ? 1000 : 10000;
  long failed = 0;
  const double t0 = Now();
  for (int i = 0; i < kCalls; ++i) {
    b.Press(IDC_DIRECTIO_CLEAR);
    b.Press(IDC_DIRECTIO_EXECUTE);
    if (b.m_console.Text(IDC_RESULT_CODE) != L"OPOS_SUCCESS") ++failed;
  }
  const double t1 = Now();
  Sleep(200);
  const SIZE_T atCalls = b.PrivateBytes();
  const long padOff = 0;
  const inject::Numbers off{padOff, 0, 0};
  b.Send(inject::LongStrings, &off, sizeof off);
  Note("Direct IO: reply of %ld characters%s, %d calls in %.1f s (%.2f ms each), %ld failed", static_cast<long>(replyLength),
       padded ? "" : " (padding refused)", kCalls, t1 - t0, (t1 - t0) * 1000 / kCalls, failed);
  Note("private bytes: %.2f MiB after the first call, %.2f MiB after %d calls", MiB(atFirstCall), MiB(atCalls),
       kCalls + 1);
  AddRow(Format("4 memory growth, %d Direct IO calls, 64 KiB reply", kCalls),
         Format("%+.3f MiB (%.2f -> %.2f MiB)", MiBDiff(atCalls, atFirstCall), MiB(atFirstCall), MiB(atCalls)),
         "< 1 MiB", Verdict(failed == 0 && replyLength >= 65536 && MiBDiff(atCalls, atFirstCall) < 1.0));
  AddRow(Format("4 memory growth, 1,000 labels -> all of it"), Format("%+.3f MiB", MiBDiff(atCalls, at1k)), "< 1 MiB",
         Verdict(MiBDiff(atCalls, at1k) < 1.0));
}

// ---- 5. start-up ----------------------------------------------------------------------

std::wstring WindowsPath(const char *unix) {
  std::wstring path = L"Z:";
  for (const char *p = unix; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

struct FindVisible {
  DWORD pid;
  const wchar_t *caption;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM lp) {
  auto *f = reinterpret_cast<FindVisible *>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != f->pid || !IsWindowVisible(hwnd) || WindowText(hwnd) != f->caption) return TRUE;
  f->found = hwnd;
  return FALSE;
}

// Seconds from CreateProcess to a visible top-level window with the caption;
// a negative value when it did not appear. The process is ended afterwards.
double TimeToWindow(const std::wstring &exe, const wchar_t *caption) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const double t0 = Now();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  double shown = -1;
  const double until = t0 + 30;
  while (Now() < until) {
    FindVisible f{pi.dwProcessId, caption, nullptr};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&f));
    if (f.found) {
      shown = Now() - t0;
      break;
    }
    Sleep(1);
  }
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  Sleep(100);
  return shown;
}

void StartUp() {
  const int kRuns = g_quick ? 4 : 10;
  const std::wstring minimal = WindowsPath(MINIMAL_DIALOG_UNIX_PATH);
  const std::wstring console = ConsoleExePath();
  TimeToWindow(minimal, L"Minimal dialog"); // the first start of each also loads files into the cache
  TimeToWindow(console, L"Quillon (32bit)");
  std::vector<double> a, c;
  for (int i = 0; i < kRuns; ++i) { // alternated, so that both see the same machine
    const double m = TimeToWindow(minimal, L"Minimal dialog");
    const double q = TimeToWindow(console, L"Quillon (32bit)");
    if (m > 0) a.push_back(m * 1000);
    if (q > 0) c.push_back(q * 1000);
  }
  const double ma = Percentile(a, 0.5), mc = Percentile(c, 0.5);
  Note("minimal dialog: median %.1f ms of %d runs (%.1f..%.1f); console: median %.1f ms of %d runs (%.1f..%.1f)",
       ma, int(a.size()), a.empty() ? 0 : *std::min_element(a.begin(), a.end()),
       a.empty() ? 0 : *std::max_element(a.begin(), a.end()), mc, int(c.size()),
       c.empty() ? 0 : *std::min_element(c.begin(), c.end()), c.empty() ? 0 : *std::max_element(c.begin(), c.end()));
  const bool complete = int(a.size()) == kRuns && int(c.size()) == kRuns;
  AddRow(Format("5 start-up to main window, median of %d", kRuns),
         Format("%.2f x (%.1f ms vs %.1f ms minimal dialog)", ma > 0 ? mc / ma : 0, mc, ma), "<= 1.3 x",
         Verdict(complete && ma > 0 && mc / ma <= 1.3));
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--quick") == 0) g_quick = true;
    else if (wcsncmp(argv[i], L"--only=", 7) == 0) g_only = argv[i] + 7;
    else g_device = argv[i];
  }
  SYSTEM_INFO si;
  GetNativeSystemInfo(&si);
  printf("quillon_bench: device %s, %lu processors%s\n", Narrow(g_device).c_str(),
         static_cast<unsigned long>(si.dwNumberOfProcessors), g_quick ? ", quick run" : "");
  fflush(stdout);

  if (Runs(L"throughput") || Runs(L"latency")) {
    printf("throughput and latency\n");
    Bench b;
    if (b.Start()) {
      if (Runs(L"throughput")) Throughput(b);
      if (Runs(L"latency")) Latency(b);
    } else {
      AddRow("1 throughput", "not measured: the console did not open the device", "", "MISSED");
    }
  }
  if (Runs(L"serial")) AddRow("3 serial line rate, 115200 baud", "not measured: serial service not available", ">= 95% of 11,520 B/s",
         "-");
  if (Runs(L"memory")) {
    printf("memory\n");
    Memory();
  }
  if (Runs(L"startup")) {
    printf("start-up\n");
    StartUp();
  }
  PrintTable();
  return 0;
}
