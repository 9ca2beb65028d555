// guide_shots: takes the technician's guide through one test session with the
// real console and the simulated scanner, and writes a picture of each step,
// cropped to the console's window (and the box or chooser it shows).
// Usage: guide_shots OUTPUT-DIR   (a Unix path; scripts/screenshots.sh runs it)
// It drives the console from outside, as the end-to-end tests do: window
// messages for the user's clicks, the injection window for the scanner.
#include "app/resource.h"
#include "driver/console_process.h"
#include "driver/injector.h"
#include "driver/no_demo_labels.h"
#include "driver/screenshot.h"

#include <cstdio>
#include <string>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSim";
const wchar_t kSerialDevice[] = L"QuillonSerial";
const wchar_t kChooserCaption[] = L"Open Service Object";
const wchar_t kBoxCaption[] = L"Quillon";

std::string g_dir;
int g_failures = 0;

void Check(bool ok, const char *what) {
  if (ok) return;
  std::printf("guide_shots: %s\n", what);
  ++g_failures;
}

RECT Union(HWND a, HWND b) {
  RECT ra{}, rb{}, r{};
  GetWindowRect(a, &ra);
  if (!b) return ra;
  GetWindowRect(b, &rb);
  UnionRect(&r, &ra, &rb);
  return r;
}

// Lets the console paint what the last step changed, then writes the picture.
void Shot(const char *name, HWND main, HWND over = nullptr) {
  Sleep(400);
  const RECT r = Union(main, over);
  const bool ok = TakeScreenshot(g_dir + "/" + name, &r);
  std::printf("guide_shots: %s %s\n", name, ok ? "written" : "NOT written");
  if (!ok) ++g_failures;
}

// The simulated device keeps its statistics between runs. The pictures show
// a device fresh from the box: its stored statistics are put aside for the
// session and brought back afterwards.
class FreshStatistics {
public:
  FreshStatistics() {
    HKEY store = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &store) != ERROR_SUCCESS) return;
    RegCloseKey(store);
    HKEY backup = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr) !=
        ERROR_SUCCESS)
      return;
    m_saved = RegCopyTreeW(HKEY_CURRENT_USER, kStoreKey, backup) == ERROR_SUCCESS;
    RegCloseKey(backup);
    if (m_saved) RegDeleteTreeW(HKEY_CURRENT_USER, kStoreKey);
  }
  ~FreshStatistics() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kStoreKey);
    if (!m_saved) return;
    HKEY store = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &store, nullptr) ==
        ERROR_SUCCESS) {
      if (RegCopyTreeW(HKEY_CURRENT_USER, kBackupKey, store) == ERROR_SUCCESS)
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKey);
      RegCloseKey(store);
    }
  }

private:
  static constexpr wchar_t kStoreKey[] = L"Software\\Quillon\\SimulatedScanner\\QuillonSim";
  static constexpr wchar_t kBackupKey[] = L"Software\\Quillon\\GuideShotsSavedStatistics";
  bool m_saved = false;
};

int ComboIndex(HWND dialog, int nID, const wchar_t *text) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, nID), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(text)));
}

// Open, with a picture of the chooser before OK is pressed.
bool OpenWithPicture(ConsoleProcess &console, const wchar_t *device, const char *picture) {
  const HWND main = console.MainWindow();
  console.Click(IDC_OPEN);
  const HWND chooser = console.WaitForWindow(kChooserCaption, 10s);
  if (!chooser) return false;
  const int index = ComboIndex(chooser, IDC_SO_NAMES, device);
  if (index < 0) return false;
  SelectComboEntry(chooser, IDC_SO_NAMES, index);
  if (picture) Shot(picture, main, chooser);
  PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
  return WaitUntil([&] { return !IsWindow(chooser); }, 10s);
}

void Session(ConsoleProcess &console) {
  const HWND main = console.MainWindow();
  const Injector scanner(kDevice);
  auto pick = [&](int nID, const wchar_t *entry) {
    const int index = ComboIndex(main, nID, entry);
    Check(index >= 0, "a list entry is missing");
    console.Select(nID, index);
  };

  Shot("01_started.png", main);

  Check(OpenWithPicture(console, kDevice, "02_chooser.png"), "the chooser did not open the simulated device");
  Check(console.Text(IDC_RETURN_VALUE) == L"OPOS_SUCCESS", "Open did not succeed");
  Shot("03_opened.png", main);

  console.Press(IDC_CLAIM);
  console.Press(IDC_DEVICE_ENABLE);
  Check(console.Text(IDC_RETURN_VALUE) == L"OPOS_SUCCESS", "Claim and Device Enable did not succeed");
  Shot("04_claimed_enabled.png", main);

  console.Press(IDC_DECODE_DATA);
  console.Press(IDC_DATA_EVENTS);
  console.Press(IDC_AUTO_ENABLE);
  const struct {
    long type;
    const char *data;
  } scans[] = {{104, "4006381333931"}, {110, "QUILLON-128"}, {204, "https://quillon.example/scan"}};
  for (const auto &scan : scans)
    Check(scanner.Label(scan.type, scan.data), "the device did not take a label");
  Check(WaitUntil([&] { return console.Text(IDC_SCAN_COUNT) == L"3"; }, 10s), "the labels did not arrive");
  Shot("05_scanning.png", main);

  console.Press(IDC_CH_INTERNAL);
  pick(IDC_PROPERTY_LIST, L"PIDX_CheckHealthText");
  Shot("06_health_check.png", main);

  pick(IDC_PROPERTY_LIST, L"PIDX_DeviceDescription");
  Shot("07_property.png", main);

  console.Click(IDC_RETRIEVE_STATISTICS); // posted: it shows a modal box
  HWND box = nullptr;
  const auto statistics = console.WaitForMessageBox(kBoxCaption, 10s, 0, &box);
  Check(statistics.has_value(), "Retrieve showed no box");
  if (statistics) {
    Shot("08_statistics.png", main, box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(box); }, 5s);
  }

  pick(IDC_DIRECTIO_COMMAND, L"NCRDIO_SCAN_STATUS");
  console.Press(IDC_DIRECTIO_EXECUTE);
  Shot("09_direct_io.png", main);

  console.Press(IDC_DEVICE_DISABLE);
  console.Press(IDC_RELEASE);
  console.Press(IDC_CLOSE);
  console.Press(IDC_DIRECTIO_CLEAR);
  Check(OpenWithPicture(console, kSerialDevice, nullptr), "the chooser did not offer the serial device");
  Shot("10_no_hardware.png", main);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    std::printf("usage: guide_shots OUTPUT-DIR\n");
    return 2;
  }
  for (const wchar_t *p = argv[1]; *p; ++p)
    g_dir += static_cast<char>(*p);

  // The device's own sample labels would change the pictures from run to run.
  NoDemoLabels quiet(kDevice);
  FreshStatistics fresh;
  if (!quiet.Ready()) {
    std::printf("guide_shots: the simulated device QuillonSim is not registered\n");
    return 1;
  }
  ConsoleProcess console;
  if (!console.Start() || !console.WaitForMainWindow()) {
    std::printf("guide_shots: the console did not start\n");
    return 1;
  }
  SetForegroundWindow(console.MainWindow());
  Session(console);
  PostMessageW(console.MainWindow(), WM_CLOSE, 0, 0);
  console.WaitForExit(10s);
  return g_failures ? 1 : 0;
}
