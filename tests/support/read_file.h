// The bytes of a file as they are now, also while another process still
// writes it (a program's redirected output, a report); empty when there is
// no such file.
#pragma once

#include "comkit/handles.h"

#include <windows.h>

#include <string>

inline std::string ReadFileBytes(const std::wstring &path) {
  std::string bytes;
  const ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got)
    bytes.append(buffer, got);
  return bytes;
}
