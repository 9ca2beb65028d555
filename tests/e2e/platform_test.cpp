// What the running console gets from the platform for its bitness: the
// caption that names its OPOS stack and the version 6 common controls its
// manifest asks for. A manifest for the wrong processor architecture is
// refused by Windows at load and quietly falls back to version 5 under Wine.
#include "driver/console_process.h"

#include "app/resource.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace {

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return s;
}

// The file of the comctl32.dll module loaded in another process; empty when
// it has none.
std::wstring LoadedCommonControls(HANDLE process) {
  std::vector<HMODULE> modules(1024);
  DWORD needed = 0;
  if (!EnumProcessModulesEx(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                            LIST_MODULES_ALL))
    return L"";
  modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
  for (HMODULE m : modules) {
    wchar_t path[MAX_PATH] = L"";
    if (!GetModuleFileNameExW(process, m, path, MAX_PATH)) continue;
    const std::wstring p = Lower(path);
    if (p.size() >= 12 && p.compare(p.size() - 12, 12, L"comctl32.dll") == 0) return path;
  }
  return L"";
}

bool RunningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

class Platform : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_console.Start());
    ASSERT_NE(m_console.WaitForMainWindow(), nullptr) << "no main window captioned " << Narrow(ConsoleCaption());
    m_process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION,
                            FALSE, m_console.ProcessId());
    ASSERT_NE(m_process, nullptr);
  }
  void TearDown() override {
    if (m_process) CloseHandle(m_process);
  }
  static std::string Narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

  ConsoleProcess m_console;
  HANDLE m_process = nullptr;
};

TEST_F(Platform, CaptionNamesTheBitnessOfTheConsole) {
  EXPECT_EQ(WindowText(m_console.MainWindow()), sizeof(void *) == 8 ? L"Quillon (64bit)" : L"Quillon (32bit)");
}

TEST_F(Platform, ConsoleRunsOnVersion6CommonControls) {
  // The module is the side-by-side assembly of this processor architecture,
  // and asked for its version it answers 6 or more on Windows. Wine's
  // comctl32 answers 5.81 for either of its builds, and where Wine cannot read
  // another process's memory (32-bit programs run through a processor
  // emulator) it cannot list its modules either: under Wine the controls'
  // behaviour below is what tells.
  const std::wstring file = LoadedCommonControls(m_process);
  if (!file.empty() || !RunningUnderWine()) {
    ASSERT_FALSE(file.empty()) << "the console has no comctl32.dll loaded";
    const std::wstring assembly = std::wstring(sizeof(void *) == 8 ? L"amd64" : L"x86") +
                                  L"_microsoft.windows.common-controls_6595b64144ccf1df_6.";
    EXPECT_NE(Lower(file).find(L"\\winsxs\\" + assembly), std::wstring::npos) << Narrow(file);
    HMODULE here = LoadLibraryW(file.c_str());
    ASSERT_NE(here, nullptr);
    DLLVERSIONINFO version{sizeof version};
    auto *getVersion =
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void *>(GetProcAddress(here, "DllGetVersion")));
    ASSERT_NE(getVersion, nullptr);
    ASSERT_EQ(getVersion(&version), S_OK);
    if (!RunningUnderWine()) {
      EXPECT_GE(version.dwMajorVersion, 6u);
    }
    FreeLibrary(here);
  }

  // Only the version 6 button knows its ideal size. The answer is written
  // into the console's own memory, so the SIZE lives there.
  void *remote = VirtualAllocEx(m_process, nullptr, sizeof(SIZE), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(remote, nullptr);
  const HWND open = GetDlgItem(m_console.MainWindow(), IDC_OPEN);
  const LRESULT known = SendMessageW(open, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(remote));
  EXPECT_TRUE(known) << "the Open button does not answer BCM_GETIDEALSIZE: version 5 common controls";
  // The size itself is read back where one process can read another's
  // memory (not under Wine with 32-bit programs run through an emulator).
  SIZE ideal{};
  SIZE_T read = 0;
  if (ReadProcessMemory(m_process, remote, &ideal, sizeof ideal, &read)) {
    EXPECT_GT(ideal.cx, 0);
    EXPECT_GT(ideal.cy, 0);
  } else {
    EXPECT_TRUE(RunningUnderWine()) << "the console's memory could not be read";
  }
  VirtualFreeEx(m_process, remote, 0, MEM_RELEASE);
}

} // namespace
