// The key record that keyconfig edits and the file it lives in between runs.
//
// The record's memory layout is the file's layout: 24 little-endian int32
// values, one pair (player 1, player 2) per entry, no header and no trailer.
// Nothing validates the values; whatever the file holds is loaded and saved
// back unchanged unless the user edits that slot.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct KeyEntry {
  int32_t player1;  // +0
  int32_t player2;  // +4
};

struct KeyConfigRecord {
  KeyEntry up;     // +0   keyboard: virtual-key codes
  KeyEntry down;   // +8
  KeyEntry left;   // +16
  KeyEntry right;  // +24
  KeyEntry keyA;   // +32
  KeyEntry keyB;   // +40
  KeyEntry keyC;   // +48
  KeyEntry keyD;   // +56
  KeyEntry padA;   // +64  pad: button index 0-7 ("button1" to "button8")
  KeyEntry padB;   // +72
  KeyEntry padC;   // +80
  KeyEntry padD;   // +88
};

static_assert(sizeof(KeyEntry) == 8, "KeyEntry is two int32 values");
static_assert(offsetof(KeyEntry, player1) == 0, "player 1 first");
static_assert(offsetof(KeyEntry, player2) == 4, "player 2 second");
static_assert(sizeof(KeyConfigRecord) == 96, "the file is exactly the record");
static_assert(offsetof(KeyConfigRecord, up) == 0, "file offset");
static_assert(offsetof(KeyConfigRecord, down) == 8, "file offset");
static_assert(offsetof(KeyConfigRecord, left) == 16, "file offset");
static_assert(offsetof(KeyConfigRecord, right) == 24, "file offset");
static_assert(offsetof(KeyConfigRecord, keyA) == 32, "file offset");
static_assert(offsetof(KeyConfigRecord, keyB) == 40, "file offset");
static_assert(offsetof(KeyConfigRecord, keyC) == 48, "file offset");
static_assert(offsetof(KeyConfigRecord, keyD) == 56, "file offset");
static_assert(offsetof(KeyConfigRecord, padA) == 64, "file offset");
static_assert(offsetof(KeyConfigRecord, padB) == 72, "file offset");
static_assert(offsetof(KeyConfigRecord, padC) == 80, "file offset");
static_assert(offsetof(KeyConfigRecord, padD) == 88, "file offset");

// The one live record. The dialog and the capture window edit it in place.
extern KeyConfigRecord KeyConfig;

// Fills KeyConfig from ".\system\config.dat" below the current directory.
// 1 on success; 0 when the file cannot be opened (KeyConfig untouched) or
// holds fewer than 96 bytes (KeyConfig partly overwritten: set the
// defaults). Each failure sends one debugger line.
int LoadConfig();

// Writes KeyConfig over the first 96 bytes of ".\system\config.dat",
// creating the file if it is missing but never the folder. A longer file
// keeps its length and its bytes from offset 96 on. 1 on success, 0 on
// failure, with one debugger line per failure.
int SaveConfig();

// Stores the factory defaults in all 24 values of KeyConfig.
void SetDefaultConfig();

// The file, relative to the current directory: ".\\system\\config.dat".
extern const char configPath[];
