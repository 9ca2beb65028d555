#include "message_box_watcher.h"

namespace {

const UINT kMessageBoxTextId = 0xFFFF;

std::wstring TextOf(HWND hwnd) {
  // SendMessageTimeout: the owner thread may be busy; never hang on it.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length)) return std::wstring();
  std::wstring s(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()), SMTO_ABORTIFHUNG, 1000,
                           &got))
    return std::wstring();
  s.resize(static_cast<size_t>(got));
  return s;
}

bool IsDialogWindow(HWND hwnd) {
  wchar_t name[16] = {};
  return GetClassNameW(hwnd, name, 16) && lstrcmpW(name, L"#32770") == 0;
}

// A message box ends on WM_COMMAND with the ID of any of its buttons; other
// dialogs are asked for OK, else Cancel.
WPARAM DismissId(HWND hwnd) {
  for (const int id : {IDOK, IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE})
    if (GetDlgItem(hwnd, id)) return static_cast<WPARAM>(id);
  return IDCANCEL;
}

const ULONGLONG kRetryMilliseconds = 500;

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
  try {
    reinterpret_cast<std::vector<HWND> *>(lp)->push_back(hwnd);
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

} // namespace

bool MessageBoxWatcher::IsMessageBox(HWND hwnd) {
  HWND text = GetDlgItem(hwnd, static_cast<int>(kMessageBoxTextId));
  return IsDialogWindow(hwnd) && text != nullptr;
}

MessageBoxWatcher::MessageBoxWatcher(Filter filter, DWORD threadId)
    : m_filter(std::move(filter)), m_threadId(threadId), m_thread([this] { Run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  m_stop = true;
  m_thread.join();
}

std::vector<MessageBoxWatcher::Box> MessageBoxWatcher::Seen() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_seen;
}

std::vector<std::wstring> MessageBoxWatcher::Texts() const {
  std::vector<std::wstring> texts;
  for (const Box &box : Seen())
    texts.push_back(box.text);
  return texts;
}

size_t MessageBoxWatcher::Count() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_seen.size();
}

void MessageBoxWatcher::Clear() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_seen.clear();
}

void MessageBoxWatcher::Run() {
  while (!m_stop) {
    Scan();
    Sleep(20);
  }
}

void MessageBoxWatcher::Scan() {
  std::vector<HWND> windows;
  EnumThreadWindows(m_threadId, CollectWindow, reinterpret_cast<LPARAM>(&windows));

  for (HWND hwnd : windows) {
    // A box is read once it is shown: its text is set by then.
    if (!IsDialogWindow(hwnd) || !IsWindowVisible(hwnd) || !m_filter(hwnd)) continue;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      auto it = m_handled.find(hwnd);
      if (it != m_handled.end()) {
        // Still open a while after it was asked to close: ask again.
        if (GetTickCount64() - it->second > kRetryMilliseconds) {
          it->second = GetTickCount64();
          PostMessageW(hwnd, WM_COMMAND, DismissId(hwnd), 0);
        }
        continue;
      }
    }
    Box box{TextOf(hwnd), std::wstring(), hwnd, GetWindow(hwnd, GW_OWNER)};
    if (HWND text = GetDlgItem(hwnd, static_cast<int>(kMessageBoxTextId))) box.text = TextOf(text);
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_handled[hwnd] = GetTickCount64();
      m_seen.push_back(box);
    }
    PostMessageW(hwnd, WM_COMMAND, DismissId(hwnd), 0);
  }

  // Forget windows that are gone, so a new box with a reused handle counts.
  std::lock_guard<std::mutex> lock(m_lock);
  for (auto it = m_handled.begin(); it != m_handled.end();)
    it = IsWindow(it->first) ? std::next(it) : m_handled.erase(it);
}
