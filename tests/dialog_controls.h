// The dialog's control map as the tests expect it, shared by the template
// test and the dialog tests: the key rows and pad groups, one row per entry
// with player 1's and player 2's identifiers, as in the dialog's tables.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "key_config.h"

struct ExpectedKeyRow {
  const wchar_t *label;  // the row label
  KeyEntry *entry;
  WORD box[2], change[2];  // [player 1, player 2]
};

// clang-format off
const ExpectedKeyRow kKeyRows[8] = {
    // label        entry            boxes         "変更"
    {L"↑",          &KeyConfig.up,    {1000, 1010}, {1008, 1032}},
    {L"↓",          &KeyConfig.down,  {1001, 1011}, {1016, 1033}},
    {L"←",          &KeyConfig.left,  {1002, 1012}, {1017, 1034}},
    {L"→",          &KeyConfig.right, {1003, 1013}, {1018, 1035}},
    {L"button-A",   &KeyConfig.keyA,  {1004, 1014}, {1019, 1036}},
    {L"button-B",   &KeyConfig.keyB,  {1005, 1015}, {1020, 1037}},
    {L"button-C",   &KeyConfig.keyC,  {1006, 1030}, {1021, 1062}},
    {L"button-D",   &KeyConfig.keyD,  {1007, 1031}, {1022, 1063}},
};
// clang-format on

struct ExpectedPadGroup {
  const wchar_t *groupBox;
  KeyEntry *entry;
  WORD radios[2][8];  // [player][value 0-7]
};

const ExpectedPadGroup kPadGroups[4] = {
    {L"button-A",
     &KeyConfig.padA,
     {{1009, 1023, 1024, 1025, 1026, 1027, 1028, 1029},
      {1064, 1065, 1066, 1067, 1068, 1069, 1070, 1071}}},
    {L"button-B",
     &KeyConfig.padB,
     {{1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045},
      {1072, 1073, 1074, 1075, 1076, 1077, 1078, 1079}}},
    {L"button-C",
     &KeyConfig.padC,
     {{1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053},
      {1080, 1081, 1082, 1083, 1084, 1085, 1086, 1087}}},
    {L"button-D",
     &KeyConfig.padD,
     {{1054, 1055, 1056, 1057, 1058, 1059, 1060, 1061},
      {1088, 1089, 1090, 1091, 1092, 1093, 1094, 1095}}},
};

// Player 0 is player 1.
inline int32_t *SlotOf(KeyEntry *entry, int player) {
  return player == 0 ? &entry->player1 : &entry->player2;
}
