// The key label table: runs of consecutive codes and their labels in code
// order. The digit and letter keys are their own characters; every code not
// listed here gets the fallback label. All texts live in read-only data.
#include "key_labels.h"

#include <string.h>

namespace {

struct LabelRun {
  int first;               // first code of the run
  int last;                // last code of the run, inclusive
  const char *labels[24];  // one label per code, in code order
};

// A run of codes that all share one label.
struct SharedLabelRun {
  int first;
  int last;
  const char *label;
};

const char fallbackLabel[] = "知らん";

// clang-format off
const LabelRun labelRuns[] = {
  {0x01, 0x04, {"L-B", "R-B", "CANCEL", "M-B"}},
  {0x08, 0x09, {"BS", "TAB"}},
  {0x0C, 0x0D, {"CLEAR", "RETURN"}},
  {0x10, 0x14, {"SHIFT", "CTRL", "ALT", "PAUSE", "CAP-L"}},
  {0x15, 0x19, {"漢字1", "漢字2", "漢字3", "漢字4", "漢字5"}},
  {0x1B, 0x1B, {"ESC"}},
  {0x1C, 0x1F, {"漢字6", "漢字7", "漢字8", "漢字9"}},
  {0x20, 0x24, {"SPACE", "P-UP", "P-DOWN", "END", "HOME"}},
  {0x25, 0x28, {"←", "↑", "→", "↓"}},
  {0x29, 0x2F, {"SELECT", "OEM", "EXE", "PrScr", "INS", "DEL", "HELP"}},
  {0x5B, 0x5D, {"LWIN", "RWIN", "APPS"}},
  {0x60, 0x69, {"NP0", "NP1", "NP2", "NP3", "NP4", "NP5", "NP6", "NP7", "NP8", "NP9"}},
  {0x6A, 0x6F, {"Multiply", "ADD", "SEP", "SUB", "DEC", "DIV"}},
  {0x70, 0x87, {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"}},
  {0x90, 0x91, {"NumL", "ScrL"}},
  {0xF6, 0xFE, {"ATTN", "CrCel", "ExCel", "EEOF", "PLAY", "ZOOM", "res.", "PA1", "CLEAR"}},
};

const SharedLabelRun sharedLabelRuns[] = {
  {0xBA, 0xC0, "OEM"},
  {0xDB, 0xE4, "OEM"},
  {0xE6, 0xE6, "OEM"},
  {0xE9, 0xF5, "OEM"},
};

// The digit keys of the main row and the letter keys are the character
// whose code equals the key code.
const SharedLabelRun selfNamedRuns[] = {
  {0x30, 0x39, nullptr},  // "0" to "9"
  {0x41, 0x5A, nullptr},  // "A" to "Z"
};
// clang-format on

char *CopyLabel(const char *label, char *buffer) {
  memcpy(buffer, label, strlen(label) + 1);
  return buffer;
}

}  // namespace

char *GetKeyLabel(int32_t code, char *buffer) {
  // Taken as unsigned, every negative code is above 255 too.
  if (static_cast<uint32_t>(code) > 0xFF)
    return CopyLabel(fallbackLabel, buffer);

  for (const SharedLabelRun &run : selfNamedRuns) {
    if (code >= run.first && code <= run.last) {
      buffer[0] = static_cast<char>(code);
      buffer[1] = '\0';
      return buffer;
    }
  }
  for (const LabelRun &run : labelRuns) {
    if (code >= run.first && code <= run.last)
      return CopyLabel(run.labels[code - run.first], buffer);
  }
  for (const SharedLabelRun &run : sharedLabelRuns) {
    if (code >= run.first && code <= run.last)
      return CopyLabel(run.label, buffer);
  }
  return CopyLabel(fallbackLabel, buffer);
}
