// scaninject: feeds a simulated scanner that some process has open. See Usage().
#include "common/std_output.h"
#include "control/inject/client.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

using namespace quillon::inject;

namespace {

void Usage(FILE *out = stderr) {
  fwprintf(out, L"Usage: scaninject [--timeout=MS] DEVICE COMMAND [ARGUMENTS]\n"
                L"Sends input to the simulated scanner DEVICE (its registry name, e.g. QuillonSim)\n"
                L"in every process that has it open, waiting up to MS milliseconds (default\n"
                L"30000) for each to answer.\n"
                L"\n"
                L"Commands:\n"
                L"  label TYPE DATA [RAW]     one label of ScanDataType TYPE; DATA is the decoded\n"
                L"                            label, RAW the ScanData bytes (default: DATA)\n"
                L"  burst COUNT [TYPE [FIRST]] COUNT numbered labels QB00000001, QB00000002, ...\n"
                L"                            (TYPE default 110 Code 128, FIRST default 1);\n"
                L"                            COUNT up to 1000000, ends when the device refuses\n"
                L"  stdin                     labels from standard input, one \"TYPE DATA\" a line\n"
                L"  power STATE               online, off, offline, offoffline or 2001..2004\n"
                L"  error CODE [EXTENDED]     an input error: ErrorEvent with these codes\n"
                L"  fail CODE [EXTENDED]      the next method call on the control returns CODE\n"
                L"  long LENGTH               texts the device answers with get LENGTH characters\n"
                L"                            (descriptions, health text, Direct IO, statistics);\n"
                L"                            0 switches it off\n"
                L"  flood COUNT [STATUS]      COUNT StatusUpdateEvents (STATUS default 2001);\n"
                L"                            COUNT up to 1000000, ends when the device refuses\n"
                L"  query                     prints whether the device is open and enabled\n"
                L"  wait [MILLISECONDS]       waits until the device is enabled (default 10000)\n"
                L"\n"
                L"DATA and RAW take the escapes \\xNN, \\r, \\n, \\t and \\\\. Characters above\n"
                L"U+00FF travel as UTF-8.\n"
                L"Exit status: 0 done and every label taken; 1 refused or some labels not taken\n"
                L"(device disabled, queue full); 2 usage; 3 no such device open; 4 the message\n"
                L"did not reach the device (no answer in time, or Windows refused it).\n"
                L"Example: scaninject QuillonSim label 104 4006381333931\n");
}

void AppendUtf8(std::string &out, unsigned c) {
  if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (c & 0x3F));
}

bool Unescape(const wchar_t *text, std::string &out) {
  for (const wchar_t *p = text; *p; ++p) {
    if (*p == L'\\' && p[1]) {
      ++p;
      switch (*p) {
      case L'r':
        out += '\r';
        continue;
      case L'n':
        out += '\n';
        continue;
      case L't':
        out += '\t';
        continue;
      case L'\\':
        out += '\\';
        continue;
      case L'x': {
        if (!iswxdigit(p[1]) || !iswxdigit(p[2])) return false;
        const wchar_t hex[3] = {p[1], p[2], 0};
        out += static_cast<char>(wcstoul(hex, nullptr, 16));
        p += 2;
        continue;
      }
      default:
        return false;
      }
    }
    const unsigned c = static_cast<unsigned>(*p);
    if (c <= 0xFF)
      out += static_cast<char>(c);
    else
      AppendUtf8(out, c);
  }
  return true;
}

bool Number(const wchar_t *text, long &value) {
  if (!text || !*text) return false;
  wchar_t *end = nullptr;
  value = wcstol(text, &end, 10);
  return *end == 0;
}

DWORD g_timeoutMs = 30000;
bool g_undelivered = false; // some message did not reach its device

// Why a message did not reach the device, as a technician can act on it.
void ReportUndelivered(DWORD error) {
  g_undelivered = true;
  if (error == ERROR_ACCESS_DENIED)
    fwprintf(stderr, L"scaninject: Windows refused the message: the program that has the device open runs at a "
                     L"higher integrity level (elevated); run scaninject the same way\n");
  else if (error == ERROR_TIMEOUT || error == 0)
    fwprintf(stderr, L"scaninject: the device did not answer within %lu ms\n", static_cast<unsigned long>(g_timeoutMs));
  else
    fwprintf(stderr, L"scaninject: the message did not reach the device (error %lu)\n",
             static_cast<unsigned long>(error));
}

// Sends to every instance of the device; returns the sum of the replies.
long long Send(const std::vector<HWND> &windows, Command command, const void *data, size_t size) {
  long long total = 0;
  for (HWND h : windows) {
    const Delivery delivery = quillon::inject::Send(h, command, data, size, {g_timeoutMs, SMTO_NORMAL});
    if (delivery.delivered)
      total += static_cast<long long>(delivery.reply);
    else
      ReportUndelivered(delivery.error);
  }
  return total;
}

int SendNumbers(const std::vector<HWND> &windows, Command command, long value, long extra, long first = 0) {
  const Numbers n{static_cast<std::int32_t>(value), static_cast<std::int32_t>(extra), static_cast<std::int32_t>(first)};
  return Send(windows, command, &n, sizeof n) > 0 ? 0 : 1;
}

// Labels from standard input, sent in batches so that thousands a second get through.
int FromStdin(const std::vector<HWND> &windows) {
  std::string input, chunk(65536, '\0');
  DWORD read = 0;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(in, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0)
    input.append(chunk.data(), read);
  std::string payload;
  long long sent = 0, taken = 0;
  size_t pos = 0;
  while (pos < input.size()) {
    size_t end = input.find('\n', pos);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    if (line.empty() || space == std::string::npos) continue;
    const long type = strtol(line.substr(0, space).c_str(), nullptr, 10);
    const std::string data = line.substr(space + 1);
    AppendLabel(payload, static_cast<std::int32_t>(type), data, data);
    ++sent;
    if (payload.size() > 60000) {
      taken += Send(windows, Labels, payload.data(), payload.size());
      payload.clear();
    }
  }
  if (!payload.empty()) taken += Send(windows, Labels, payload.data(), payload.size());
  PrintStandardOutput(L"%lld of %lld labels taken\n", taken, sent);
  return taken == sent ? 0 : 1;
}

} // namespace

int Run(int argc, wchar_t **argv);

int wmain(int argc, wchar_t **argv) {
  if (argc >= 2 && wcsncmp(argv[1], L"--timeout=", 10) == 0) {
    long timeout = 0;
    if (!Number(argv[1] + 10, timeout) || timeout <= 0) return Usage(), 2;
    g_timeoutMs = static_cast<DWORD>(timeout);
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  const int rc = Run(argc, argv);
  return g_undelivered && rc != 2 && rc != 3 ? 4 : rc;
}

int Run(int argc, wchar_t **argv) {
  if (argc < 2 || wcscmp(argv[1], L"--help") == 0 || wcscmp(argv[1], L"-h") == 0 || wcscmp(argv[1], L"/?") == 0) {
    Usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (argc < 3) {
    Usage();
    return 2;
  }
  const wchar_t *device = argv[1];
  const std::wstring command = argv[2];
  const int n = argc - 3;
  wchar_t **arg = argv + 3;
  long a = 0, b = 0, c = 0;

  if (command == L"wait") {
    long timeout = 10000;
    if (n >= 1 && !Number(arg[0], timeout)) return Usage(), 2;
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    for (;;) {
      if (Send(FindWindows(device), Query, nullptr, 0) & QueryEnabled) return 0;
      if (GetTickCount64() >= until) return 1;
      Sleep(10);
    }
  }

  const std::vector<HWND> windows = FindWindows(device);
  if (windows.empty()) {
    PrintStandardError(L"scaninject: no process has the simulated device \"%ls\" open\n", device);
    return 3;
  }
  if (command == L"label" && (n == 2 || n == 3) && Number(arg[0], a)) {
    std::string data, raw;
    if (!Unescape(arg[1], data) || !Unescape(n == 3 ? arg[2] : arg[1], raw)) return Usage(), 2;
    const std::string payload = LabelPayload(static_cast<std::int32_t>(a), data, raw);
    const long long taken = Send(windows, Labels, payload.data(), payload.size());
    if (!taken && !g_undelivered) fwprintf(stderr, L"scaninject: the label was not taken (device disabled?)\n");
    return taken ? 0 : 1;
  }
  if (command == L"burst" && n >= 1 && n <= 3 && Number(arg[0], a) && a >= 0 && (n < 2 || Number(arg[1], b)) &&
      (n < 3 || Number(arg[2], c))) {
    const Numbers numbers{static_cast<std::int32_t>(a), static_cast<std::int32_t>(n >= 2 ? b : 110),
                          static_cast<std::int32_t>(n >= 3 ? c : 1)};
    const long long taken = Send(windows, Burst, &numbers, sizeof numbers);
    PrintStandardOutput(L"%lld of %ld labels taken\n", taken, a);
    return taken == a ? 0 : 1;
  }
  if (command == L"stdin" && n == 0) return FromStdin(windows);
  if (command == L"power" && n == 1) {
    static const struct {
      const wchar_t *name;
      long code;
    } kStates[] = {{L"online", 2001}, {L"off", 2002}, {L"offline", 2003}, {L"offoffline", 2004}};
    for (const auto &s : kStates)
      if (_wcsicmp(arg[0], s.name) == 0) a = s.code;
    if (a || Number(arg[0], a)) return SendNumbers(windows, Power, a, 0);
  }
  if ((command == L"error" || command == L"fail") && (n == 1 || n == 2) && Number(arg[0], a) &&
      (n < 2 || Number(arg[1], b)))
    return SendNumbers(windows, command == L"error" ? Error : FailNext, a, b);
  if (command == L"long" && n == 1 && Number(arg[0], a)) return SendNumbers(windows, LongStrings, a, 0);
  if (command == L"flood" && (n == 1 || n == 2) && Number(arg[0], a) && (n < 2 || Number(arg[1], b)))
    return SendNumbers(windows, Flood, a, n == 2 ? b : 2001);
  if (command == L"query" && n == 0) {
    const long long q = Send(windows, Query, nullptr, 0);
    PrintStandardOutput(L"%ls: %ls\n", device, (q & QueryEnabled) ? L"enabled" : L"open, not enabled");
    return 0;
  }
  Usage();
  return 2;
}
