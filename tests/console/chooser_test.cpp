// The service object chooser against the real scanner key of the registry:
// the sorted list, the preselected first entry, the trace on standard output
// in registry order, an absent or empty key, a name of the greatest length,
// typed names and Cancel. The key is put back as it was after each test.
#include "support/dialog_answerer.h"

#include "app/resource.h"
#include "chooser/open_so_dialog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const wchar_t kParentKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";
const wchar_t kScannerKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner";
// Where the devices installed in this prefix wait while a test runs; a run
// that died half-way leaves them here and the next one puts them back.
const wchar_t kBackupKey[] = L"SOFTWARE\\OLEforRetail\\QuillonChooserTestBackup";
const wchar_t kHadKeyValue[] = L"ScannerKeyExisted";

const wchar_t kCaption[] = L"Open Service Object";

void DeleteScannerKey() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScannerKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kScannerKey);
}

// Puts the saved key back, if a backup is there.
void RestoreScannerKey() {
  HKEY backup = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBackupKey, 0, KEY_READ, &backup) != ERROR_SUCCESS) return;
  DWORD had = 0, size = sizeof had;
  RegQueryValueExW(backup, kHadKeyValue, nullptr, nullptr, reinterpret_cast<BYTE *>(&had), &size);
  DeleteScannerKey();
  if (had) {
    HKEY scanner = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScannerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scanner, nullptr);
    HKEY saved = nullptr;
    if (RegOpenKeyExW(backup, L"Scanner", 0, KEY_READ, &saved) == ERROR_SUCCESS) {
      RegCopyTreeW(saved, nullptr, scanner);
      RegCloseKey(saved);
    }
    RegCloseKey(scanner);
  }
  RegCloseKey(backup);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kBackupKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBackupKey);
}

void SaveScannerKey() {
  HKEY backup = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr),
            ERROR_SUCCESS);
  HKEY scanner = nullptr;
  const DWORD had = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScannerKey, 0, KEY_READ, &scanner) == ERROR_SUCCESS;
  if (had) {
    HKEY saved = nullptr;
    RegCreateKeyExW(backup, L"Scanner", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &saved, nullptr);
    EXPECT_EQ(RegCopyTreeW(scanner, nullptr, saved), ERROR_SUCCESS);
    RegCloseKey(saved);
    RegCloseKey(scanner);
  }
  // Written last: a backup without it is incomplete and is not restored from.
  RegSetValueExW(backup, kHadKeyValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&had), sizeof had);
  RegCloseKey(backup);
}

// Standard output of this process, caught in a file while it lives.
class CapturedStdout {
public:
  CapturedStdout() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"qso", 0, m_path);
    std::fflush(stdout);
    m_saved = _dup(1);
    const int fd = _wopen(m_path, _O_WRONLY | _O_TRUNC | _O_TEXT);
    _dup2(fd, 1);
    _close(fd);
  }
  ~CapturedStdout() {
    Stop();
    DeleteFileW(m_path);
  }
  // Ends the capture and returns what was written, line ends as written.
  std::string Stop() {
    if (m_saved >= 0) {
      std::fflush(stdout);
      _dup2(m_saved, 1);
      _close(m_saved);
      m_saved = -1;
    }
    std::ifstream in(m_path); // text mode: CR LF read back as LF
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

private:
  wchar_t m_path[MAX_PATH] = L"";
  int m_saved = -1;
};

// What the chooser showed when it opened.
struct Shown {
  std::vector<std::wstring> entries;
  std::wstring field;
  int selection = -2;
};

class Chooser : public testing::Test {
protected:
  void SetUp() override {
    RestoreScannerKey(); // left by an interrupted run
    SaveScannerKey();
    DeleteScannerKey();
  }
  void TearDown() override { RestoreScannerKey(); }

  static void MakeKey() {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScannerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  static void AddDevice(const std::wstring &name) {
    HKEY h = nullptr;
    const std::wstring path = std::wstring(kScannerKey) + L"\\" + name;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS)
        << "could not make the subkey";
    RegCloseKey(h);
  }
  // The subkeys in the order the registry enumerates them.
  static std::vector<std::wstring> RegistryOrder() {
    std::vector<std::wstring> names;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScannerKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      wchar_t name[300];
      DWORD cch = 300;
      if (RegEnumKeyExW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, cch);
    }
    RegCloseKey(h);
    return names;
  }

  // Shows the chooser once; the user (optionally) types, then presses a
  // button. Returns what DoModal returned.
  INT_PTR Run(COpenSODialog &dlg, int button, const wchar_t *typed = nullptr) {
    DialogAnswerer answerer(kCaption, [&](HWND hwnd) {
      m_shown.entries = DialogAnswerer::ComboEntries(hwnd, IDC_SO_NAMES);
      m_shown.field = DialogAnswerer::ItemText(hwnd, IDC_SO_NAMES);
      m_shown.selection = DialogAnswerer::ComboSelection(hwnd, IDC_SO_NAMES);
      if (typed) SetDlgItemTextW(hwnd, IDC_SO_NAMES, typed);
      DialogAnswerer::Press(hwnd, button);
    });
    const INT_PTR result = dlg.DoModal();
    EXPECT_EQ(answerer.Answered(), 1);
    return result;
  }

  Shown m_shown;
};

std::string Narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

TEST_F(Chooser, ListsTheSubkeysSortedPreselectsTheFirstAndTracesThemInRegistryOrder) {
  MakeKey();
  const std::wstring longest(255, L'L'); // the longest name a key may have
  for (const wchar_t *name : {L"Zeta", L"alpha", L"_Under", L"Mid Scanner", L"Scan-C", L"ScanB"})
    AddDevice(name);
  AddDevice(longest);
  const std::vector<std::wstring> registry = RegistryOrder();
  ASSERT_EQ(registry.size(), 7u);

  CapturedStdout out;
  COpenSODialog dlg;
  ASSERT_EQ(Run(dlg, IDOK), IDOK);
  const std::string trace = out.Stop();

  // The list sorts as people read (a hyphen counts for little); the registry
  // enumerates by character codes.
  const std::vector<std::wstring> sorted = {L"_Under", L"alpha", longest, L"Mid Scanner", L"ScanB", L"Scan-C", L"Zeta"};
  EXPECT_EQ(m_shown.entries, sorted);
  EXPECT_NE(m_shown.entries, registry) << "the names chosen do not tell the two orders apart";
  EXPECT_EQ(m_shown.selection, 0);
  EXPECT_EQ(m_shown.field, L"_Under");
  EXPECT_EQ(dlg.m_strName, L"_Under");

  std::string expected = "\nNumber of subkeys: 7\n";
  for (size_t i = 0; i < registry.size(); ++i)
    expected += "(" + std::to_string(i + 1) + ") " + Narrow(registry[i]) + "\n";
  EXPECT_EQ(trace, expected);
}

// Names in any script reach a redirected trace whole, as UTF-8, in registry
// order; the ASCII name beside them keeps its bytes as before.
TEST_F(Chooser, TracesNamesOfEveryScriptWholeAsUtf8) {
  const struct {
    const wchar_t *name;
    const char *utf8;
  } kNames[] = {
      {L"Alpha", "Alpha"},
      {L"Kasse Gr\u00F6\u00DFe", "Kasse Gr\xC3\xB6\xC3\x9F"
                                 "e"},
      {L"\u30B9\u30AD\u30E3\u30CA", "\xE3\x82\xB9\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\x8A"},
      {L"Scan \U0001D54A", "Scan \xF0\x9D\x95\x8A"}, // outside the Basic Multilingual Plane
  };
  MakeKey();
  for (const auto &n : kNames)
    AddDevice(n.name);

  CapturedStdout out;
  COpenSODialog dlg;
  ASSERT_EQ(Run(dlg, IDCANCEL), IDCANCEL);
  const std::string trace = out.Stop();

  std::string expected = "\nNumber of subkeys: 4\n";
  const std::vector<std::wstring> registry = RegistryOrder();
  for (size_t i = 0; i < registry.size(); ++i)
    for (const auto &n : kNames)
      if (registry[i] == n.name) expected += "(" + std::to_string(i + 1) + ") " + n.utf8 + "\n";
  EXPECT_EQ(trace, expected);
  EXPECT_EQ(m_shown.entries.size(), 4u);
}

TEST_F(Chooser, ReadsTheRegistryAfreshAtEachShowing) {
  MakeKey();
  AddDevice(L"First");
  COpenSODialog first;
  Run(first, IDCANCEL);
  EXPECT_EQ(m_shown.entries, std::vector<std::wstring>{L"First"});

  AddDevice(L"Another");
  COpenSODialog second;
  Run(second, IDOK);
  EXPECT_EQ(m_shown.entries, (std::vector<std::wstring>{L"Another", L"First"}));
  EXPECT_EQ(second.m_strName, L"Another");
}

TEST_F(Chooser, WithoutTheKeyOrWithoutSubkeysTheListAndFieldAreEmptyAndNothingIsTraced) {
  for (const bool keyExists : {false, true}) {
    SCOPED_TRACE(keyExists ? "empty key" : "no key");
    if (keyExists) MakeKey();
    CapturedStdout out;
    COpenSODialog dlg;
    EXPECT_EQ(Run(dlg, IDOK), IDOK);
    EXPECT_EQ(out.Stop(), "");
    EXPECT_TRUE(m_shown.entries.empty());
    EXPECT_EQ(m_shown.field, L"");
    EXPECT_EQ(m_shown.selection, CB_ERR);
    EXPECT_EQ(dlg.m_strName, L"");
  }
}

// What the user does, and the name the caller has afterwards.
struct AnswerCase {
  const char *what;
  const wchar_t *typed;
  int button;
  INT_PTR result;
  const wchar_t *name;
};

TEST_F(Chooser, OkReturnsTheFieldAsTypedAndCancelLeavesTheNameAlone) {
  const AnswerCase kCases[] = {
      {"a name not in the list", L"  Not Installed 9 ", IDOK, IDOK, L"  Not Installed 9 "},
      {"the preselected entry", nullptr, IDOK, IDOK, L"Installed"},
      {"cancel after typing", L"Typed", IDCANCEL, IDCANCEL, L"caller's"},
      {"cancel", nullptr, IDCANCEL, IDCANCEL, L"caller's"},
  };
  MakeKey();
  AddDevice(L"Installed");
  for (const AnswerCase &c : kCases) {
    SCOPED_TRACE(c.what);
    COpenSODialog dlg;
    dlg.m_strName = L"caller's";
    EXPECT_EQ(Run(dlg, c.button, c.typed), c.result);
    EXPECT_EQ(dlg.m_strName, c.name);
  }
}

} // namespace
