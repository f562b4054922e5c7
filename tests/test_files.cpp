#include "test_files.h"

#include <windows.h>

#include "test_pace.h"

static void RemoveTree(const std::string &path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

TempFolder::TempFolder() {
  static unsigned counter;
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  for (;;) {
    path = std::string(base) + "kctest-" +
           std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
    if (CreateDirectoryA(path.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path); }

CurrentFolder::CurrentFolder(const std::string &path) {
  char buffer[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, buffer);
  previous = buffer;
  SetCurrentDirectoryA(path.c_str());
}

CurrentFolder::~CurrentFolder() { SetCurrentDirectoryA(previous.c_str()); }

void MakeFolder(const std::string &path) {
  CreateDirectoryA(path.c_str(), nullptr);
}

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::string &path, const Bytes &bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (!bytes.empty())
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
  CloseHandle(file);
}

Bytes ReadBytes(const std::string &path, bool *found) {
  Bytes bytes;
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (found) *found = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return bytes;
  unsigned char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  CloseHandle(file);
  return bytes;
}

Bytes PatternBytes(size_t count, unsigned start) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<unsigned char>(start + i);
  return bytes;
}

Bytes Int32Bytes(const std::vector<int> &values) {
  Bytes bytes;
  for (int value : values) {
    unsigned u = static_cast<unsigned>(value);
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<unsigned char>(u >> shift));
  }
  return bytes;
}

long RunProgram(const std::string &commandLine, std::string *output,
                bool utf8) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (output && !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -2;
  if (output) SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
  }
  // As CreateProcessA would read it, unless it is UTF-8.
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  std::wstring command(commandLine.size() + 1, L'\0');
  command.resize(size_t(MultiByteToWideChar(
      codePage, 0, commandLine.c_str(), -1, &command[0], int(command.size()))));
  PROCESS_INFORMATION process;
  BOOL started =
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, output != nullptr,
                     0, nullptr, nullptr, &startup, &process);
  if (output) {
    CloseHandle(writeEnd);
    // Read while the child runs, never waiting for the pipe to close: a
    // process the child started (or one Wine keeps for it) may hold it.
    const ULONGLONG deadline = GetTickCount64() + Paced(120000);
    char buffer[4096];
    DWORD got, available;
    for (bool ended = !started; started;) {
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
             available &&
             ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
        for (DWORD i = 0; i < got; ++i)
          if (buffer[i] != '\r') *output += buffer[i];
      if (ended || GetTickCount64() > deadline) break;
      ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    }
    CloseHandle(readEnd);
  }
  if (!started) return -2;
  long code = -1;
  if (WaitForSingleObject(process.hProcess, Paced(120000)) == WAIT_OBJECT_0) {
    DWORD exitCode;
    GetExitCodeProcess(process.hProcess, &exitCode);
    code = long(exitCode);
  } else {
    TerminateProcess(process.hProcess, 255);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
