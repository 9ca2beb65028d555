// The main window created for real from its template around the recording
// fake control: layout, frame, start-up state, the result display, data
// exchange and the default report of a failed call.
#include "console_window.h"

#include "support/message_pump.h"
#include "version/version.h"

#include <atomic>
#include <cwchar>

namespace {

enum Kind { kButton, kDefButton, kCheck, kGroup, kEdit, kText, kCombo, kHosted };

struct LayoutRow {
  int nID; // -1 for the unnamed texts and group boxes
  Kind kind;
  const wchar_t *pszText;
  int x, y, cx, cy;
  DWORD dwStyle; // style bits the control must have (besides its kind)
  bool bVisible;
  bool bEnabled;
};

const DWORD kNone = 0;

// The main window's controls in tab (z) order, positions in dialog units.
const LayoutRow kLayout[] = {
    {1003, kDefButton, L"Open", 16, 11, 51, 14, WS_TABSTOP, true, true},
    {1017, kButton, L"Claim", 95, 11, 51, 14, WS_TABSTOP, true, true},
    {1004, kButton, L"Device Enable", 175, 11, 51, 14, WS_TABSTOP, true, true},
    {1029, kButton, L"Decode Data", 96, 147, 57, 14, WS_TABSTOP, true, true},
    {1024, kButton, L"Data Events", 173, 147, 57, 14, WS_TABSTOP, true, true},
    {1008, kCombo, L"", 12, 264, 133, 238, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, true, true},
    {1009, kEdit, L"", 12, 282, 133, 13, ES_AUTOHSCROLL | WS_TABSTOP, true, true},
    {1011, kButton, L"Set Properties", 160, 281, 64, 14, WS_TABSTOP, true, true},
    {1022, kButton, L"Clear Input", 18, 147, 57, 14, WS_TABSTOP, true, true},
    {1005, kButton, L"Device Disable", 16, 30, 51, 14, WS_TABSTOP, true, true},
    {1018, kButton, L"Release", 95, 30, 51, 14, WS_TABSTOP, true, true},
    {1026, kButton, L"Close", 175, 30, 51, 14, WS_TABSTOP, true, true},
    {1021, kButton, L"CH Internal", 177, 53, 58, 14, WS_TABSTOP, true, true},
    {1000, kEdit, L"", 93, 114, 110, 12, ES_AUTOHSCROLL, true, false},
    {1010, kButton, L"Get Properties", 160, 263, 64, 14, kNone, false, true},
    {-1, kGroup, L"Result Values", 7, 305, 234, 49, kNone, true, true},
    {1014, kEdit, L"", 98, 316, 97, 12, ES_AUTOHSCROLL, true, false},
    {1015, kEdit, L"", 98, 334, 97, 12, ES_AUTOHSCROLL, true, false},
    {1016, kEdit, L"", 77, 61, 90, 45,
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_HSCROLL | WS_TABSTOP, true, true},
    {-1, kText, L"Return Value", 26, 316, 61, 11, kNone, true, true},
    {-1, kText, L"Result Code", 26, 335, 61, 9, kNone, true, true},
    {-1, kText, L"Scan Data Type", 10, 116, 72, 8, kNone, true, true},
    {-1, kText, L"Scan Data Label", 10, 63, 72, 8, kNone, true, true},
    {-1, kGroup, L"Recoded Data", 7, 47, 233, 84, kNone, true, true},
    {-1, kGroup, L"Properties And Methods", 7, 251, 234, 49, kNone, true, true},
    {-1, kGroup, L"Data Event", 7, 133, 234, 43, kNone, true, true},
    {-1, kGroup, L"Statistics And  clear Input Properties", 7, 177, 234, 72, kNone, true, true},
    {1032, kButton, L"Retrieve", 24, 194, 75, 14, WS_TABSTOP, true, true},
    {1033, kButton, L"Update Statistics", 24, 211, 75, 14, WS_TABSTOP, true, true},
    {1034, kEdit, L"0", 112, 212, 52, 14, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP, true, true},
    {1035, kButton, L"Reset Statistics", 175, 210, 60, 15, WS_TABSTOP, true, true},
    {1036, kButton, L"Clear Input Properties", 24, 229, 75, 15, WS_TABSTOP, true, true},
    {1001, kHosted, L"", 205, 316, 23, 27, WS_TABSTOP, true, true},
    {1013, kButton, L"Close", 186, 113, 45, 14, kNone, false, true},
    {1039, kCheck, L"Auto Enable", 174, 164, 53, 8, WS_TABSTOP, true, false},
    {-1, kText, L"Scan Count", 134, 194, 41, 8, kNone, true, true},
    {1040, kEdit, L"", 181, 191, 35, 12, ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, true, true},
    {-1, kGroup, L"Direct IO", 247, 7, 185, 347, kNone, true, true},
    {1041, kEdit, L"", 252, 32, 173, 81,
     ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, true, true},
    {1043, kCombo, L"GET_SCANNERS", 321, 16, 104, 13, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, true, true},
    {1044, kButton, L"Execute", 375, 119, 50, 14, WS_TABSTOP, true, true},
    {1045, kEdit, L"", 251, 142, 174, 159,
     ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, true, true},
    {1046, kButton, L"Clear", 371, 333, 53, 14, WS_TABSTOP, true, true},
    {-1, kText, L"Command", 265, 19, 32, 8, kNone, true, true},
    {1047, kEdit, L"", 341, 311, 40, 14, ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, true, true},
    {-1, kText, L"Ravelon status:", 260, 313, 67, 8, kNone, true, true},
    {1048, kButton, L"CH External", 177, 70, 58, 14, WS_TABSTOP, true, true},
    {1049, kButton, L"CH Interactive", 177, 87, 58, 14, WS_TABSTOP, true, true},
};

std::wstring WindowText(HWND hwnd) {
  wchar_t text[256] = L"";
  GetWindowTextW(hwnd, text, 256);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = L"";
  GetClassNameW(hwnd, name, 64);
  return name;
}

const wchar_t *ExpectedClass(Kind kind) {
  switch (kind) {
  case kEdit:
    return L"Edit";
  case kText:
    return L"Static";
  case kCombo:
    return L"ComboBox";
  case kHosted:
    return L"QuillonControlSite";
  default:
    return L"Button";
  }
}

// The dialog base units of a window's font, computed the way the dialog
// manager does: average width of the 52 letters, and the font's height.
SIZE DialogBaseUnits(HWND hwndDlg) {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwndDlg, WM_GETFONT, 0, 0));
  const HDC hdc = GetDC(hwndDlg);
  const HGDIOBJ old = SelectObject(hdc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(hdc, &tm);
  SIZE extent{};
  GetTextExtentPoint32W(hdc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &extent);
  SelectObject(hdc, old);
  ReleaseDC(hwndDlg, hdc);
  return SIZE{(extent.cx / 26 + 1) / 2, tm.tmHeight};
}

class MainWindow : public ConsoleWindow {};

TEST_F(MainWindow, EveryControlOfTheTemplateInTabOrderWithItsTextStylesAndPlace) {
  const HWND dlg = m_dlg->m_hWnd;
  const SIZE base = DialogBaseUnits(dlg);
  HWND child = GetWindow(dlg, GW_CHILD);
  for (const LayoutRow &row : kLayout) {
    SCOPED_TRACE(testing::Message() << "control " << row.nID << " \"" << std::wstring(row.pszText).c_str() << "\"");
    ASSERT_NE(child, nullptr) << "fewer controls than the template has";
    if (row.nID != -1) {
      EXPECT_EQ(row.nID, GetDlgCtrlID(child));
    }
    EXPECT_EQ(ExpectedClass(row.kind), ClassOf(child));
    if (row.kind != kCombo && row.kind != kHosted) {
      EXPECT_EQ(row.pszText, WindowText(child));
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    // A combo box hands its scroll bar style to its list.
    const DWORD wanted = row.kind == kCombo ? row.dwStyle & ~static_cast<DWORD>(WS_VSCROLL) : row.dwStyle;
    EXPECT_EQ(wanted, style & wanted);
    EXPECT_EQ(row.bVisible, (style & WS_VISIBLE) != 0);
    if (row.kind == kEdit) {
      // The dialog manager may turn an edit's border into a sunken client edge.
      const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(child, GWL_EXSTYLE));
      EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE)) << "no border";
    }
    EXPECT_EQ(row.bEnabled, (style & WS_DISABLED) == 0);
    switch (row.kind) {
    case kButton:
      EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON), style & BS_TYPEMASK);
      break;
    case kDefButton:
      EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), style & BS_TYPEMASK);
      break;
    case kCheck:
      EXPECT_EQ(static_cast<DWORD>(BS_AUTOCHECKBOX), style & BS_TYPEMASK);
      break;
    case kGroup:
      EXPECT_EQ(static_cast<DWORD>(BS_GROUPBOX), style & BS_TYPEMASK);
      break;
    case kCombo:
      EXPECT_EQ(row.dwStyle & 3u, style & 3u);
      EXPECT_EQ(0u, style & CBS_SORT);
      break;
    default:
      break;
    }
    if (row.kind == kText || row.kind == kGroup) {
      EXPECT_EQ(0u, style & WS_TABSTOP);
    }

    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&rc), 2);
    EXPECT_EQ(MulDiv(row.x, base.cx, 4), rc.left);
    EXPECT_EQ(MulDiv(row.y, base.cy, 8), rc.top);
    EXPECT_EQ(MulDiv(row.cx, base.cx, 4), rc.right - rc.left);
    // A combo box's template height is the height of its open list.
    if (row.kind != kCombo) {
      EXPECT_EQ(MulDiv(row.cy, base.cy, 8), rc.bottom - rc.top);
    }
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(nullptr, child) << "more controls than the template has";
}

TEST_F(MainWindow, FrameCaptionSizeIconsAndSystemMenu) {
  const HWND dlg = m_dlg->m_hWnd;
  EXPECT_EQ(sizeof(void *) == 8 ? L"Quillon (64bit)" : L"Quillon (32bit)", WindowText(dlg));
  const DWORD style = static_cast<DWORD>(GetWindowLongW(dlg, GWL_STYLE));
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  EXPECT_EQ(0u, style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
  EXPECT_NE(0u, static_cast<DWORD>(GetWindowLongW(dlg, GWL_EXSTYLE)) & WS_EX_APPWINDOW);

  const SIZE base = DialogBaseUnits(dlg);
  RECT client;
  GetClientRect(dlg, &client);
  EXPECT_EQ(MulDiv(440, base.cx, 4), client.right);
  EXPECT_EQ(MulDiv(361, base.cy, 8), client.bottom);

  EXPECT_EQ(reinterpret_cast<LRESULT>(m_dlg->m_hIcon), SendMessageW(dlg, WM_GETICON, ICON_BIG, 0));
  EXPECT_EQ(reinterpret_cast<LRESULT>(m_dlg->m_hIcon), SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0));
  EXPECT_NE(nullptr, m_dlg->m_hIcon);
  EXPECT_EQ(reinterpret_cast<LRESULT>(m_dlg->m_hIcon), SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0));

  const HMENU menu = GetSystemMenu(dlg, FALSE);
  const int n = GetMenuItemCount(menu);
  ASSERT_GE(n, 2);
  MENUITEMINFOW separator{sizeof separator, MIIM_FTYPE};
  GetMenuItemInfoW(menu, static_cast<UINT>(n - 2), TRUE, &separator);
  EXPECT_NE(0u, separator.fType & MFT_SEPARATOR);
  EXPECT_EQ(16u, GetMenuItemID(menu, n - 1));
  wchar_t text[64] = L"";
  GetMenuStringW(menu, static_cast<UINT>(n - 1), text, 64, MF_BYPOSITION);
  EXPECT_STREQ(L"&About Pellix...", text);
  // Enter presses Open, the default button.
  EXPECT_EQ(MAKELRESULT(1003, DC_HASDEFID), SendMessageW(dlg, DM_GETDEFID, 0, 0));
}

TEST_F(MainWindow, TheHostedControlGetsItsInitialStateAndItsEventsAreConnected) {
  const std::vector<BYTE> expected = {0, 0, 0, 0, 0, 9, 0, 0, 0x9E, 3, 0, 0, 0x8C, 4, 0, 0};
  EXPECT_TRUE(m_fake->WasLoaded());
  EXPECT_EQ(expected, m_fake->InitStateBytes());
  EXPECT_EQ(1, m_fake->SinkCount());
  // The site's window is child 1001 and the wrapper is bound to it.
  EXPECT_EQ(Item(1001), m_dlg->m_scanner.m_hWnd);
}

// The window finds its object (events and timers are routed through it), and
// no other window is taken for one: not a child, not a dialog of another
// procedure, not one of another process.
TEST_F(MainWindow, OnlyTheConsoleWindowIsTakenForItsDialogObject) {
  EXPECT_EQ(m_dlg.get(), CDialog::FromHandle(m_dlg->m_hWnd));
  EXPECT_EQ(nullptr, CDialog::FromHandle(nullptr));
  EXPECT_EQ(nullptr, CDialog::FromHandle(Item(1016)));
  EXPECT_EQ(nullptr, CDialog::FromHandle(GetDesktopWindow()));
  const HWND other =
      CreateWindowExW(0, L"#32770", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, other);
  SetWindowLongPtrW(other, DWLP_USER, reinterpret_cast<LONG_PTR>(m_dlg.get()));
  EXPECT_EQ(nullptr, CDialog::FromHandle(other));
  DestroyWindow(other);
}

TEST_F(MainWindow, StartsWithEmptyResultFieldsAndTheDisplayOnlyFieldsDisabled) {
  EXPECT_EQ(L"", Text(1014));
  EXPECT_EQ(L"", Text(1015));
  EXPECT_EQ(L"", Text(1040));
  EXPECT_EQ(L"0", Text(1034));
  for (int id : {1000, 1014, 1015})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_EQ(0, m_dlg->m_nLastReturn);
  EXPECT_EQ(0, m_dlg->m_nScanCount);
}

TEST_F(MainWindow, RefreshShowsTheStoredReturnTheLiveResultCodeAndTheCount) {
  m_reg.On(kResultCodeId).Returns(101);
  m_dlg->RefreshResults();
  EXPECT_EQ(L"OPOS_SUCCESS", Text(1014));
  EXPECT_EQ(L"OPOS_E_CLOSED        ", Text(1015));
  EXPECT_EQ(L"0", Text(1040));
  ASSERT_EQ(1u, m_fake->Calls().size());
  EXPECT_EQ(kResultCodeId, m_fake->Calls()[0].dispid);
  EXPECT_EQ(kGet, m_fake->Calls()[0].flags);

  // After a device call the refresh reads ResultCode anew.
  m_dlg->m_nLastReturn = m_dlg->m_scanner.ClaimDevice(6000);
  m_reg.On(kResultCodeId).Returns(106);
  m_dlg->m_nLastReturn = 106;
  m_dlg->m_nScanCount = 7;
  m_dlg->RefreshResults();
  EXPECT_EQ(L"OPOS_E_ILLEGAL       ", Text(1014));
  EXPECT_EQ(L"OPOS_E_ILLEGAL       ", Text(1015));
  EXPECT_EQ(L"7", Text(1040));
}

TEST_F(MainWindow, AFailedCallIsReportedByNameAndTheWindowCarriesOn) {
  const DISPID kClaimedId = 14;
  m_reg.On(kClaimedId).Raises(L"The device is gone.");
  m_reg.On(kResultCodeId).Returns(0);
  MessageBoxWatcher boxes;
  Choose(1008, 0); // PIDX_Claimed: the read fails
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 1; }, 5000));
  const auto seen = boxes.Seen();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(L"main_window_test", seen[0].caption);
  EXPECT_NE(std::wstring::npos, seen[0].text.find(L"The device is gone.")) << seen[0].text;
  EXPECT_NE(std::wstring::npos, seen[0].text.find(L"Claimed")) << seen[0].text;
  // The rest of the handler was skipped: nothing was refreshed.
  EXPECT_EQ(L"", Text(1014));
  EXPECT_EQ(L"", Text(1015));
  EXPECT_TRUE(IsWindow(m_dlg->m_hWnd));

  // A failing HRESULT without a description gets the system's words.
  m_reg.On(kClaimedId).Fails(DISP_E_MEMBERNOTFOUND);
  boxes.Clear();
  Choose(1008, 0);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 1; }, 5000));
  EXPECT_NE(std::wstring::npos, boxes.Seen()[0].text.find(L"0x80020003")) << boxes.Seen()[0].text;

  // And the window works on once the control answers again.
  m_reg.On(kClaimedId).ReturnsBool(true);
  Choose(1008, 0);
  EXPECT_EQ(L"1", Text(1009));
  EXPECT_EQ(L"OPOS_SUCCESS", Text(1015));
}

struct CountCase {
  const wchar_t *pszText;
  bool bValid;
  long nValue;
};

TEST_F(MainWindow, TheCountFieldExchangesOnlyWholeNumbersWithinTheLongRange) {
  const CountCase cases[] = {
      {L"42", true, 42},
      {L"  42  ", true, 42},
      {L"-7", true, -7},
      {L"+2147483647", true, 2147483647},
      {L"-2147483648", true, -2147483647 - 1},
      {L"", false, 0},
      {L"   ", false, 0},
      {L"4 2", false, 0},
      {L"12a", false, 0},
      {L"0x10", false, 0},
      {L"-2147483649", false, 0},
      {L"-99999999999999999999", false, 0},
  };
  for (const CountCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "text \"" << std::wstring(c.pszText).c_str() << "\"");
    m_dlg->m_nStatisticsCount = 5;
    MessageBoxWatcher boxes;
    SetText(1034, c.pszText);
    const bool ok = m_dlg->UpdateData(true);
    EXPECT_EQ(c.bValid, ok);
    if (c.bValid) {
      EXPECT_EQ(c.nValue, m_dlg->m_nStatisticsCount);
    } else {
      EXPECT_EQ(5, m_dlg->m_nStatisticsCount) << "a failed exchange must not change the member";
      PumpUntil([&] { return boxes.Count() >= 1; }, 2000);
      bool sawExchangeMessage = false;
      for (const auto &b : boxes.Seen())
        sawExchangeMessage |= b.text == L"Enter a whole number from -2147483648 to 2147483647.";
      EXPECT_TRUE(sawExchangeMessage);
      EXPECT_EQ(Item(1034), GetFocus());
    }
  }
}

TEST_F(MainWindow, EscapeEndsTheWindowAndTheHiddenButtonsDoNothing) {
  m_fake->ClearCalls();
  Click(1013);
  Click(1010);
  EXPECT_TRUE(m_fake->Calls().empty());
  EXPECT_TRUE(IsWindowVisible(m_dlg->m_hWnd));

  SendMessageW(m_dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(IDCANCEL, m_dlg->m_nModalResult);
  // Closing does not close or release the device.
  for (const RecordedCall &c : m_fake->Calls()) {
    EXPECT_NE(35, c.dispid);
    EXPECT_NE(38, c.dispid);
  }
}

TEST_F(MainWindow, TheAboutBoxComesFromTheSystemMenuAndLeavesTheStateAlone) {
  m_dlg->m_nLastReturn = 111;
  std::wstring caption, line;
  std::atomic<HWND> about{nullptr};
  // The filter runs on the watcher's thread: it reads window texts without
  // sending messages, so it never waits on the test thread.
  auto textOf = [](HWND hwnd) {
    wchar_t text[256] = L"";
    InternalGetWindowText(hwnd, text, 256);
    return std::wstring(text);
  };
  MessageBoxWatcher dialogs([&](HWND hwnd) {
    if (about || textOf(hwnd) != L"About Pellix") return false;
    about = hwnd;
    caption = textOf(hwnd);
    const HWND version = GetWindow(GetWindow(hwnd, GW_CHILD), GW_HWNDNEXT); // after the icon
    line = textOf(version);
    return true;
  });
  // Any command ID 16 to 31 opens it.
  SendMessageW(m_dlg->m_hWnd, WM_SYSCOMMAND, 0x001F, 0);
  EXPECT_EQ(L"About Pellix", caption);
  EXPECT_EQ(L"Quillon - Version " QUILLON_VERSION_TEXT, line);
  EXPECT_EQ(1u, dialogs.Count());
  EXPECT_EQ(111, m_dlg->m_nLastReturn);
  EXPECT_TRUE(IsWindowVisible(m_dlg->m_hWnd));
}

} // namespace
