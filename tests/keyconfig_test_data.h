// Expected bytes shared by the keyconfig tests: the defaults' file image,
// the CP932 debugger lines, and a record of values no dialog would produce.
#pragma once

#include <string>

#include "test_files.h"

// The 96 bytes of a save with the factory defaults, offset 0 first.
inline const Bytes kDefaultBytes = {
    0x26, 0, 0, 0, 0x57, 0, 0, 0, 0x28, 0, 0, 0, 0x53, 0, 0, 0, 0x25, 0, 0, 0,
    0x41, 0, 0, 0, 0x27, 0, 0, 0, 0x44, 0, 0, 0, 0x31, 0, 0, 0, 0x5A, 0, 0, 0,
    0x32, 0, 0, 0, 0x58, 0, 0, 0, 0x33, 0, 0, 0, 0x43, 0, 0, 0, 0x34, 0, 0, 0,
    0x56, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0,
    0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x03, 0, 0, 0, 0x03, 0, 0, 0,
};

inline const std::string kLoadOpenFailed =
    "LoadConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x83\x49\x81\x5B\x83\x76\x83\x93\x8E\xB8\x94\x73\n";
inline const std::string kLoadReadFailed =
    "LoadConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x8E\xB8\x94\x73\n";
inline const std::string kSaveOpenFailed =
    "SaveConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x83\x49\x81\x5B\x83\x76\x83\x93\x8E\xB8\x94\x73\n";
inline const std::string kSaveWriteFailed =
    "SaveConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x8E\xB8\x94\x73\n";

// Values no dialog would produce: pad 9, key 1000, negatives.
inline Bytes OddRecord() {
  std::vector<int> values;
  for (int i = 0; i < 24; ++i) values.push_back(i * 37 - 100);
  values[0] = 1000;
  values[16] = 9;
  values[23] = -1;
  return Int32Bytes(values);
}

// "main dialog : アクティブになった\n" in code page 932.
inline const std::string kDialogActivated =
    "main dialog : \x83\x41\x83\x4E\x83\x65\x83\x42\x83\x75\x82\xC9"
    "\x82\xC8\x82\xC1\x82\xBD\n";
