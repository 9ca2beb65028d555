// Checks that run inside a Wine prefix into which an installer package was
// installed (tests/install/install_tests.sh runs them, each with a filter): the
// installed files carry the version, the Start menu shortcut leads to the
// console, the console started from its installed path lists the simulated
// scanner and shows a label sent by the installed injector, and the message
// with which an install refuses the simulated scanner. The type library checks
// (TypeLibrary.*) are linked in too.
#include "driver/console_process.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include "comkit/handles.h"
#include "version/version.h"

#include <iostream>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSim";
const wchar_t kDeviceKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonSim";

bool Is64BitWindows() {
  if (sizeof(void *) == 8) return true;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Where Windows keeps programs of this program's bitness, as the packages
// promise: a 32-bit program on 64-bit Windows lives in "Program Files (x86)".
std::wstring InstallDir() {
  if (sizeof(void *) == 4 && Is64BitWindows()) return L"C:\\Program Files (x86)\\Quillon\\";
  return L"C:\\Program Files\\Quillon\\";
}

std::wstring Bitness() { return sizeof(void *) == 8 ? L"64bit" : L"32bit"; }

std::wstring VersionString(const std::vector<BYTE> &info, const wchar_t *name) {
  wchar_t *value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void **>(&value), &length) || !value) return L"";
  return std::wstring(value, wcsnlen(value, length));
}

// The version resource of every installed binary: what Explorer's properties
// and inventory tools show.
TEST(Installed, EveryBinaryCarriesTheVersion) {
  for (const wchar_t *file : {L"Quillon.exe", L"QuillonCheck.exe", L"QuillonScanner.dll", L"scaninject.exe"}) {
    const std::wstring path = InstallDir() + file;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, size) << "no version resource in " << path;
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(MAKELONG(QUILLON_VERSION_MINOR, QUILLON_VERSION_MAJOR), fixed->dwFileVersionMS) << path;
    EXPECT_EQ(MAKELONG(QUILLON_VERSION_REVISION, QUILLON_VERSION_BUILD), fixed->dwFileVersionLS) << path;
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS) << path;
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS) << path;
    EXPECT_EQ(L"Quillon", VersionString(info, L"ProductName")) << path;
    EXPECT_EQ(L"" QUILLON_VERSION_TEXT, VersionString(info, L"FileVersion")) << path;
    EXPECT_EQ(L"" QUILLON_VERSION_TEXT, VersionString(info, L"ProductVersion")) << path;
    EXPECT_EQ(L"Quillon developers", VersionString(info, L"CompanyName")) << path;
    EXPECT_EQ(std::wstring(file), VersionString(info, L"OriginalFilename")) << path;
    EXPECT_NE(std::wstring::npos, VersionString(info, L"FileDescription").find(Bitness())) << path;
  }
}

// The shortcut "Quillon (64bit)" or "Quillon (32bit)" in the Start menu's
// programs (the machine's, or under Wine the user's) starts the console.
TEST(Installed, StartMenuShortcutLeadsToTheConsole) {
  const std::wstring name = L"Quillon (" + Bitness() + L").lnk";
  std::wstring found;
  for (int folder : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
    wchar_t dir[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, folder, nullptr, 0, dir)) &&
        GetFileAttributesW((std::wstring(dir) + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES)
      found = std::wstring(dir) + L"\\" + name;
  }
  ASSERT_FALSE(found.empty()) << "no shortcut " << name;
  ComPtr<IShellLinkW> link;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid()));
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, link.As(file));
  ASSERT_EQ(S_OK, file->Load(found.c_str(), STGM_READ));
  wchar_t target[MAX_PATH] = L"";
  ASSERT_EQ(S_OK, link->GetPath(target, MAX_PATH, nullptr, 0));
  EXPECT_EQ(0, lstrcmpiW((InstallDir() + L"Quillon.exe").c_str(), target)) << target;
}

class InstalledConsole : public testing::Test {
protected:
  // No sample labels of the device's own while the test waits for its label.
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS, m_key.Open(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_READ | KEY_SET_VALUE))
        << "the simulated device is not installed";
    DWORD size = sizeof m_demoInterval;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_key.Get(), L"DemoInterval", nullptr, nullptr,
                                              reinterpret_cast<BYTE *>(&m_demoInterval), &size));
    const DWORD none = 0;
    RegSetValueExW(m_key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&none), sizeof none);
  }
  void TearDown() override {
    if (m_key)
      RegSetValueExW(m_key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&m_demoInterval),
                     sizeof m_demoInterval);
  }

  ScopedRegKey m_key;
  DWORD m_demoInterval = 0;
};

// Started from its installed path, the console offers the installed device,
// and a label sent with the installed injector shows in the label field.
TEST_F(InstalledConsole, ShowsALabelSentWithTheInstalledInjector) {
  ConsoleProcess console(InstallDir() + L"Quillon.exe");
  ASSERT_TRUE(console.Start());
  ASSERT_NE(nullptr, console.WaitForMainWindow()) << "no window captioned " << ConsoleCaption();
  ASSERT_TRUE(console.ChooseDevice(kDevice)) << "the chooser does not list " << kDevice;
  EXPECT_EQ(L"OPOS_SUCCESS", console.Text(IDC_RETURN_VALUE));
  console.Press(IDC_CLAIM);
  console.Press(IDC_DEVICE_ENABLE);
  console.Press(IDC_DECODE_DATA);
  console.Press(IDC_DATA_EVENTS);
  EXPECT_EQ(L"OPOS_SUCCESS", console.Text(IDC_RESULT_CODE));

  std::wstring command = L"\"" + InstallDir() + L"scaninject.exe\" QuillonSim label 104 4006381333931";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 20000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(0u, code) << "scaninject failed";

  EXPECT_TRUE(WaitUntil([&] { return console.Text(IDC_SCAN_DATA_LABEL) == L"4006381333931"; }, 10s))
      << "label field: " << console.Text(IDC_SCAN_DATA_LABEL);
  EXPECT_EQ(L"SCAN_SDT_JAN13", console.Text(IDC_SCAN_DATA_TYPE));
  PostMessageW(console.MainWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(console.WaitForExit(10s).has_value());
}

struct Found {
  HWND box = nullptr;
  std::wstring text;
};

BOOL CALLBACK FindRefusal(HWND hwnd, LPARAM lp) {
  auto *found = reinterpret_cast<Found *>(lp);
  wchar_t cls[32] = L"";
  GetClassNameW(hwnd, cls, 32);
  if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
  const std::wstring text = WindowText(GetDlgItem(hwnd, 0xFFFF));
  if (text.find(L"cannot be installed") == std::wstring::npos) return TRUE;
  *found = {hwnd, text};
  return FALSE;
}

// Run beside an interactive install that asks for the simulated scanner while
// QUILLON_REFUSED_SERVER holds the class in QUILLON_REFUSED_VIEW ("64-bit" or
// "32-bit"): the installer's message names that server; OK ends the install.
TEST(Refusal, MessageNamesTheRegisteredServer) {
  wchar_t server[MAX_PATH] = L"", view[16] = L"";
  if (!GetEnvironmentVariableW(L"QUILLON_REFUSED_SERVER", server, MAX_PATH) ||
      !GetEnvironmentVariableW(L"QUILLON_REFUSED_VIEW", view, 16))
    GTEST_SKIP() << "run by the install tests beside an install that is refused";
  Found found;
  ASSERT_TRUE(WaitUntil(
      [&] {
        EnumWindows(FindRefusal, reinterpret_cast<LPARAM>(&found));
        return found.box != nullptr;
      },
      60s))
      << "no message from the installer";
  std::wcout << L"installer's message: " << found.text << std::endl;
  EXPECT_NE(std::wstring::npos, found.text.find(L"Simulated scanner")) << found.text;
  EXPECT_NE(std::wstring::npos,
            found.text.find(std::wstring(L"registered in the ") + view + L" registry view to " + server + L","))
      << found.text;
  PostMessageW(found.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(found.box); }, 10s));
}

} // namespace
