#include "wide_text.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

std::wstring Widen(const std::string &utf8) {
  if (utf8.empty()) return std::wstring();
  int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()),
                                 nullptr, 0);
  std::wstring wide(size_t(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0],
                      size);
  return wide;
}

std::string Utf8(const wchar_t *text) {
  int length = int(wcslen(text));
  if (!length) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr,
                                 nullptr);
  std::string utf8(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr,
                      nullptr);
  return utf8;
}

int Utf8Arguments(std::string *arguments, int capacity) {
  int count = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return 0;
  if (count > capacity) count = capacity;
  for (int i = 0; i < count; ++i) arguments[i] = Utf8(wide[i]);
  LocalFree(wide);
  return count;
}
