// A real console main window around the recording fake control, driven the
// way a user's clicks and keystrokes reach it: window messages to the dialog
// and its controls.
#pragma once

#include "support/fake_scanner.h"
#include "support/message_box_watcher.h"

#include "app/resource.h"
#include "console/pellix_dlg.h"
#include "console/result_names.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class ConsoleWindow : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(m_reg.Result(), S_OK);
    m_dlg = std::make_unique<CPellixDlg>();
    ASSERT_TRUE(m_dlg->Create());
    m_fake = m_reg.Last();
    ASSERT_NE(m_fake, nullptr);
    m_fake->ClearCalls();
  }
  void TearDown() override { m_dlg.reset(); }

  HWND Item(int nID) const { return GetDlgItem(m_dlg->m_hWnd, nID); }

  void Click(int nID) const {
    SendMessageW(m_dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(Item(nID)));
  }
  // Chooses entry nIndex of a list, as picking it with the mouse does.
  void Choose(int nID, int nIndex) const {
    SendMessageW(Item(nID), CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
    SendMessageW(m_dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(nID, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(nID)));
  }
  void SetText(int nID, const std::wstring &text) const {
    SendMessageW(Item(nID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  std::wstring Text(int nID) const { return m_dlg->GetDlgItemText(nID).str(); }
  bool Enabled(int nID) const { return IsWindowEnabled(Item(nID)) != FALSE; }
  bool ReadOnly(int nID) const { return (GetWindowLongW(Item(nID), GWL_STYLE) & ES_READONLY) != 0; }

  static std::wstring Name(long nCode) { return ResultCodeName(nCode).str(); }

  // The calls the fake received since the last ClearCalls, as (dispid, kind).
  std::vector<std::pair<DISPID, WORD>> CallKinds() const {
    std::vector<std::pair<DISPID, WORD>> v;
    for (const RecordedCall &c : m_fake->Calls())
      v.emplace_back(c.dispid, c.flags);
    return v;
  }

  FakeScannerRegistration m_reg; // outlives the window
  std::unique_ptr<CPellixDlg> m_dlg;
  FakeScanner *m_fake = nullptr;
};

inline constexpr WORD kGet = DISPATCH_PROPERTYGET;
inline constexpr WORD kPut = DISPATCH_PROPERTYPUT;
inline constexpr WORD kMethod = DISPATCH_METHOD;
inline constexpr DISPID kResultCodeId = 22;

// The dispatch IDs of the Scanner control, as the tests expect them (stated
// here, not read from the console's table, so that a wrong entry there fails).
inline constexpr DISPID kDataEventEnabled = 16;
inline constexpr DISPID kDeviceEnabled = 17;
inline constexpr DISPID kCheckHealth = 31;
inline constexpr DISPID kClaimDevice = 32;
inline constexpr DISPID kClearInput = 33;
inline constexpr DISPID kClose = 35;
inline constexpr DISPID kDirectIO = 36;
inline constexpr DISPID kOpen = 37;
inline constexpr DISPID kReleaseDevice = 38;
inline constexpr DISPID kCapStatisticsReporting = 39;
inline constexpr DISPID kCapUpdateStatistics = 40;
inline constexpr DISPID kResetStatistics = 41;
inline constexpr DISPID kRetrieveStatistics = 42;
inline constexpr DISPID kUpdateStatistics = 43;
inline constexpr DISPID kClearInputProperties = 48;
inline constexpr DISPID kDecodeData = 50;
inline constexpr DISPID kScanDataLabel = 52;
inline constexpr DISPID kScanDataType = 53;
