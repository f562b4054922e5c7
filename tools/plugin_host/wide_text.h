// Paths and texts in our hosts: carried as UTF-8 inside the programs and
// handed to Windows through the W calls, so that a folder or DLL named in
// any script loads whatever the system's ANSI code page is.
#pragma once

#include <string>

// UTF-8 to UTF-16 and back. Invalid input becomes U+FFFD, never a cut text.
std::wstring Widen(const std::string &utf8);
std::string Utf8(const wchar_t *text);
inline std::string Utf8(const std::wstring &text) { return Utf8(text.c_str()); }

// The program's arguments as UTF-8, from GetCommandLineW: argv of main()
// has gone through the ANSI code page and lost what it cannot hold.
int Utf8Arguments(std::string *arguments, int capacity);
