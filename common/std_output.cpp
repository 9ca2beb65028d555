// Standard output in UTF-8 or through the console, see std_output.h.
#include "common/std_output.h"

#include <windows.h>

#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

namespace {

void Write(FILE *stream, std::wstring_view text) {
  // What the runtime buffered goes first, so that both kinds of output keep
  // their order.
  std::fflush(stream);
  const int fd = _fileno(stream);
  const auto handle = reinterpret_cast<HANDLE>(fd >= 0 ? _get_osfhandle(fd) : -1);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
    while (!text.empty()) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(text.size() < 8192 ? text.size() : 8192);
      if (!WriteConsoleW(handle, text.data(), chunk, &written, nullptr) || written == 0) return;
      text.remove_prefix(written);
    }
    return;
  }
  // A file or a pipe: the runtime's stream, in its text mode, keeps the line
  // ends as they always were; UTF-8 passes through it byte for byte.
  const std::string bytes = Utf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

void Print(FILE *stream, const wchar_t *format, va_list args) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
      Write(stream, std::wstring_view(buffer.data(), static_cast<size_t>(n)));
      return;
    }
    buffer.resize(buffer.size() * 2);
  }
}

} // namespace

void WriteStandardOutput(std::wstring_view text) { Write(stdout, text); }

void PrintStandardOutput(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  Print(stdout, format, args);
  va_end(args);
}

void PrintStandardError(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  Print(stderr, format, args);
  va_end(args);
}
