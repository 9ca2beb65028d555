#include "windows_queue_bits.h"

#include <windows.h>

#include <cstring>

namespace {

using GetQueueStatusFn = DWORD(WINAPI *)(UINT);
using PeekMessageFn = BOOL(WINAPI *)(LPMSG, HWND, UINT, UINT, UINT);
using GetMessageFn = BOOL(WINAPI *)(LPMSG, HWND, UINT, UINT);
using PostMessageFn = BOOL(WINAPI *)(HWND, UINT, WPARAM, LPARAM);

GetQueueStatusFn g_getQueueStatus = nullptr;
PeekMessageFn g_peekMessage = nullptr;
GetMessageFn g_getMessage = nullptr;
PostMessageFn g_postMessage = nullptr;

DWORD g_thread = 0;        // the thread whose bits are modelled
bool g_postBitSet = false; // QS_POSTMESSAGE as Windows would have it

void NoteRetrieval() {
  if (GetCurrentThreadId() == g_thread) g_postBitSet = false;
}

DWORD WINAPI ModelGetQueueStatus(UINT flags) {
  DWORD status = g_getQueueStatus(flags);
  if (GetCurrentThreadId() == g_thread && !g_postBitSet)
    status &= ~static_cast<DWORD>(MAKELONG(QS_POSTMESSAGE, QS_POSTMESSAGE));
  return status;
}

BOOL WINAPI ModelPeekMessage(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove) {
  const BOOL result = g_peekMessage(msg, hwnd, first, last, remove);
  NoteRetrieval();
  return result;
}

BOOL WINAPI ModelGetMessage(LPMSG msg, HWND hwnd, UINT first, UINT last) {
  const BOOL result = g_getMessage(msg, hwnd, first, last);
  NoteRetrieval();
  return result;
}

BOOL WINAPI ModelPostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const BOOL result = g_postMessage(hwnd, msg, wp, lp);
  const DWORD target = hwnd ? GetWindowThreadProcessId(hwnd, nullptr) : GetCurrentThreadId();
  if (result && target == g_thread) g_postBitSet = true;
  return result;
}

// The import table slot of this program for a function of user32.
void **ImportSlot(const char *name) {
  auto *base = reinterpret_cast<BYTE *>(GetModuleHandleW(nullptr));
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return nullptr;
  for (auto *imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); imp->Name; ++imp) {
    if (lstrcmpiA(reinterpret_cast<const char *>(base + imp->Name), "user32.dll") != 0) continue;
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char *>(byName->Name), name) == 0)
        return reinterpret_cast<void **>(&slots->u1.Function);
    }
  }
  return nullptr;
}

// Puts replacement into the slot of name; the function it held goes to
// *original. False when the program does not import it.
template <class Fn> bool Redirect(const char *name, Fn replacement, Fn *original) {
  void **slot = ImportSlot(name);
  if (!slot) return false;
  DWORD protect = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protect)) return false;
  if (original) *original = reinterpret_cast<Fn>(*slot);
  *slot = reinterpret_cast<void *>(replacement);
  VirtualProtect(slot, sizeof *slot, protect, &protect);
  return true;
}

} // namespace

WindowsQueueBits::WindowsQueueBits() {
  g_thread = GetCurrentThreadId();
  g_postBitSet = (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0;
  m_installed = Redirect("GetQueueStatus", &ModelGetQueueStatus, &g_getQueueStatus);
  m_installed = Redirect("PeekMessageW", &ModelPeekMessage, &g_peekMessage) && m_installed;
  Redirect("GetMessageW", &ModelGetMessage, &g_getMessage); // imported only by some programs
  m_installed = Redirect("PostMessageW", &ModelPostMessage, &g_postMessage) && m_installed;
}

WindowsQueueBits::~WindowsQueueBits() {
  if (g_getQueueStatus) Redirect<GetQueueStatusFn>("GetQueueStatus", g_getQueueStatus, nullptr);
  if (g_peekMessage) Redirect<PeekMessageFn>("PeekMessageW", g_peekMessage, nullptr);
  if (g_getMessage) Redirect<GetMessageFn>("GetMessageW", g_getMessage, nullptr);
  if (g_postMessage) Redirect<PostMessageFn>("PostMessageW", g_postMessage, nullptr);
  g_getQueueStatus = nullptr;
  g_peekMessage = nullptr;
  g_getMessage = nullptr;
  g_postMessage = nullptr;
  g_thread = 0;
}
