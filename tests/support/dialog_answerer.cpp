#include "dialog_answerer.h"

namespace {

// Messages to the dialog's thread never wait long on it.
LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result)) return -1;
  return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND hwnd) {
  const LRESULT length = Send(hwnd, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::wstring();
  std::wstring s(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = Send(hwnd, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()));
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

// A window's caption without a message to its thread, which may be busy (or
// waiting for this one).
std::wstring CaptionOf(HWND hwnd) {
  wchar_t caption[256] = L"";
  const int n = InternalGetWindowText(hwnd, caption, 256);
  return std::wstring(caption, n > 0 ? static_cast<size_t>(n) : 0);
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND> *>(lp)->push_back(hwnd);
  return TRUE;
}

} // namespace

DialogAnswerer::DialogAnswerer(std::wstring caption, Action action, DWORD threadId)
    : m_caption(std::move(caption)), m_action(std::move(action)), m_threadId(threadId), m_thread([this] { Run(); }) {}

DialogAnswerer::~DialogAnswerer() {
  m_stop = true;
  m_thread.join();
}

void DialogAnswerer::Run() {
  while (!m_stop) {
    std::vector<HWND> windows;
    EnumThreadWindows(m_threadId, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd : windows) {
      wchar_t cls[16] = {};
      if (!GetClassNameW(hwnd, cls, 16) || lstrcmpW(cls, L"#32770") != 0) continue;
      if (!IsWindowVisible(hwnd) || m_done.count(hwnd) || CaptionOf(hwnd) != m_caption) continue;
      m_done.insert(hwnd);
      // Counted before the action: its last step may close the dialog, and
      // the caller reads the count as soon as the dialog has returned.
      ++m_answered;
      m_action(hwnd);
    }
    // A later dialog may get a handle of an earlier one.
    for (auto it = m_done.begin(); it != m_done.end();)
      it = IsWindow(*it) ? std::next(it) : m_done.erase(it);
    Sleep(10);
  }
}

void DialogAnswerer::Press(HWND hwndDialog, int nID) {
  // Posted: the dialog's thread may be inside a call waiting for us.
  PostMessageW(hwndDialog, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(hwndDialog, nID)));
}

std::vector<std::wstring> DialogAnswerer::ComboEntries(HWND hwndDialog, int nID) {
  const HWND combo = GetDlgItem(hwndDialog, nID);
  std::vector<std::wstring> entries;
  const LRESULT count = Send(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring s(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
    const LRESULT got = Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    entries.push_back(s);
  }
  return entries;
}

std::wstring DialogAnswerer::ItemText(HWND hwndDialog, int nID) { return TextOf(GetDlgItem(hwndDialog, nID)); }

int DialogAnswerer::ComboSelection(HWND hwndDialog, int nID) {
  return static_cast<int>(Send(GetDlgItem(hwndDialog, nID), CB_GETCURSEL, 0, 0));
}
