// Small file-system helpers for tests that use real files under Wine.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A fresh empty folder under the temporary folder, removed with its
// contents when the object goes away.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  std::string path;
  std::string Join(const std::string &relative) const {
    return path + "\\" + relative;
  }
};

// Makes the folder current for the object's lifetime.
struct CurrentFolder {
  explicit CurrentFolder(const std::string &path);
  ~CurrentFolder();
  std::string previous;
};

void MakeFolder(const std::string &path);
bool Exists(const std::string &path);
void WriteBytes(const std::string &path, const Bytes &bytes);
// The whole file, or nothing when it cannot be read; `found` tells which.
Bytes ReadBytes(const std::string &path, bool *found = nullptr);
// `count` bytes counting up from `start` (mod 256).
Bytes PatternBytes(size_t count, unsigned start);
// Little-endian int32 values as bytes.
Bytes Int32Bytes(const std::vector<int> &values);

// Runs a program of the test's folder as a child, its command line given
// as UTF-8 (a crash or hang must not take the test with it). Returns its
// exit code, or -1 when it did not end within two minutes (at this
// machine's pace, test_pace.h) (it is then ended), -2 when it could not
// start. With `output`, collects what it wrote to stdout and stderr,
// without the \r of text-mode line ends.
long RunProgram(const std::string &commandLine, std::string *output = nullptr);
