// Program entry of keyconfig, the factory defaults and the key file.
//
// The file is read straight into the record and written straight from it;
// it is open only inside one LoadConfig or SaveConfig call, with no sharing,
// so another process holding it makes the call fail instead of racing.
#include "key_config.h"

#include <windows.h>

#include "config_dialog.h"
#include "save_failure.h"

KeyConfigRecord KeyConfig;

const char configPath[] = ".\\system\\config.dat";

//                                            player 1       player 2
static const KeyConfigRecord factoryDefaults = {
    /* up    */ {0x26 /* Up arrow   */, 0x57 /* W */},
    /* down  */ {0x28 /* Down arrow */, 0x53 /* S */},
    /* left  */ {0x25 /* Left arrow */, 0x41 /* A */},
    /* right */ {0x27 /* Right arrow*/, 0x44 /* D */},
    /* keyA  */ {0x31 /* main-row 1 */, 0x5A /* Z */},
    /* keyB  */ {0x32 /* main-row 2 */, 0x58 /* X */},
    /* keyC  */ {0x33 /* main-row 3 */, 0x43 /* C */},
    /* keyD  */ {0x34 /* main-row 4 */, 0x56 /* V */},
    /* padA  */ {0 /* button1 */, 0 /* button1 */},
    /* padB  */ {1 /* button2 */, 1 /* button2 */},
    /* padC  */ {2 /* button3 */, 2 /* button3 */},
    /* padD  */ {3 /* button4 */, 3 /* button4 */},
};

int LoadConfig() {
  HANDLE file = CreateFileA(configPath, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    OutputDebugStringA("LoadConfig() : 設定ファイルオープン失敗\n");
    return 0;
  }
  DWORD bytesRead = 0;
  BOOL readOk = ReadFile(file, &KeyConfig, sizeof KeyConfig, &bytesRead, NULL);
  CloseHandle(file);
  if (readOk && bytesRead == sizeof KeyConfig) return 1;
  OutputDebugStringA("LoadConfig() : 設定ファイル読み込み失敗\n");
  return 0;
}

int SaveConfig() {
  // OPEN_ALWAYS does not truncate: bytes after the record survive.
  HANDLE file = CreateFileA(configPath, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    OutputDebugStringA("SaveConfig() : 設定ファイルオープン失敗\n");
    return 0;
  }
  DWORD bytesWritten = 0;
  BOOL writeOk =
      WriteFile(file, &KeyConfig, sizeof KeyConfig, &bytesWritten, NULL);
  CloseHandle(file);
  if (writeOk && bytesWritten == sizeof KeyConfig) return 1;
  OutputDebugStringA("SaveConfig() : 設定ファイル書き込み失敗\n");
  return 0;
}

void SetDefaultConfig() { KeyConfig = factoryDefaults; }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!LoadConfig()) SetDefaultConfig();
  // -1 (the dialog could not be created) and 2 (cancel) both skip the save.
  INT_PTR result = RunConfigDialog(instance);
  if (result == 1) SaveConfirmedConfig();
  return 0;
}
