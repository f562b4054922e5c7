// What this process sends to the debugger output, one entry per
// OutputDebugStringA, for the tests that check keyconfig's lines in
// process: a vectored handler sees the exception OutputDebugStringA raises.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline std::vector<std::string> debugLines;

inline LONG CALLBACK RecordDebugLine(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C &&
      record->NumberParameters >= 2)
    debugLines.push_back(
        reinterpret_cast<const char *>(record->ExceptionInformation[1]));
  return EXCEPTION_CONTINUE_SEARCH;
}
