// Command-line parsing and rule-id patterns.
#include "check/options.h"

#include <cstdio>
#include <cwchar>

const wchar_t kCheckUsage[] =
    L"Usage: QuillonCheck [DEVICE] [--interactive] [--feed] [--allow-writes] [--only=PATTERN] [--list]\n"
    L"                    [--junit=FILE] [--report=FILE] [--timeout=SECONDS]\n"
    L"Checks which UnifiedPOS rules the scanner service object of DEVICE keeps.\n"
    L"  --interactive   ask for scans (and run interactive health checks)\n"
    L"  --feed          feed labels through a simulated device's injector\n"
    L"  --allow-writes  run UpdateStatistics and ResetStatistics (they change the device's counters)\n"
    L"  --only=PATTERN  only the rules whose id matches (* and ?; several patterns separated by commas)\n"
    L"  --list          list the rules and end\n"
    L"  --junit=FILE    write the results as JUnit XML\n"
    L"  --report=FILE   keep the report in FILE\n"
    L"  --timeout=S     seconds a call may take before it counts as hung (default 10)\n"
    L"Exit status: 0 when no rule failed, 1 when one did, 2 when the run could not start.\n";

namespace {

bool TakeValue(const std::wstring &arg, const wchar_t *name, std::wstring &value) {
  const size_t n = std::wcslen(name);
  if (arg.compare(0, n, name) != 0 || arg.size() <= n || arg[n] != L'=') return false;
  value = arg.substr(n + 1);
  return true;
}

bool ParseNumber(const std::wstring &text, long minimum, long maximum, long &value) {
  if (text.empty()) return false;
  wchar_t *end = nullptr;
  const long v = std::wcstol(text.c_str(), &end, 10);
  if (*end || v < minimum || v > maximum) return false;
  value = v;
  return true;
}

} // namespace

bool ParseCheckOptions(const std::vector<std::wstring> &args, CheckOptions &o, std::wstring &error) {
  o.noArguments = args.empty();
  for (const std::wstring &arg : args) {
    std::wstring value;
    long number = 0;
    if (arg == L"--interactive")
      o.interactive = true;
    else if (arg == L"--feed")
      o.feed = true;
    else if (arg == L"--allow-writes")
      o.allowWrites = true;
    else if (arg == L"--list")
      o.list = true;
    else if (arg == L"--help" || arg == L"-h" || arg == L"/?")
      o.help = true;
    else if (TakeValue(arg, L"--only", value)) {
      for (size_t start = 0; start <= value.size();) {
        const size_t comma = value.find(L',', start);
        const std::wstring pattern =
            value.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!pattern.empty()) o.only.push_back(pattern);
        if (comma == std::wstring::npos) break;
        start = comma + 1;
      }
    } else if (TakeValue(arg, L"--junit", value))
      o.junitPath = value;
    else if (TakeValue(arg, L"--report", value))
      o.reportPath = value;
    else if (TakeValue(arg, L"--timeout", value)) {
      if (!ParseNumber(value, 1, 3600, number)) {
        error = L"--timeout takes a number of seconds from 1 to 3600: " + arg;
        return false;
      }
      o.callTimeoutMs = static_cast<unsigned>(number) * 1000u;
    } else if (TakeValue(arg, L"--hold-claim", value))
      o.holdDevice = value;
    else if (TakeValue(arg, L"--signal", value))
      o.holdSignal = value;
    else if (TakeValue(arg, L"--claim-timeout", value)) {
      if (!ParseNumber(value, -1, 3600000, number)) {
        error = L"bad --claim-timeout: " + arg;
        return false;
      }
      o.holdTimeout = number;
    } else if (arg.size() > 1 && arg[0] == L'-' && arg[1] == L'-') {
      error = L"unknown option: " + arg;
      return false;
    } else if (o.device.empty())
      o.device = arg;
    else {
      error = L"only one device may be named: " + arg;
      return false;
    }
  }
  if (!o.holdDevice.empty() && o.holdSignal.empty()) {
    error = L"--hold-claim needs --signal";
    return false;
  }
  return true;
}

std::wstring ReportFileName(const std::wstring &device, const SYSTEMTIME &t) {
  std::wstring name = device.substr(0, 64);
  for (wchar_t &c : name)
    if (c < 32 || std::wcschr(L"<>:\"/\\|?*", c)) c = L'_';
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L" %04u-%02u-%02u %02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return L"QuillonCheck " + name + stamp + L".txt";
}

bool MatchesPattern(std::wstring_view pattern, std::wstring_view id) {
  // Iterative glob match with one back-tracking point for the last *.
  size_t p = 0, s = 0, star = std::wstring_view::npos, mark = 0;
  while (s < id.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == id[s])) {
      ++p;
      ++s;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = s;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      s = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}
