// What the player is told when the confirmed keys could not be saved.
#pragma once

// Saves KeyConfig after the dialog was confirmed. While the save fails, a
// message box over the desktop says so, with the file's full path and the
// likely cause, and offers 再試行 (save again) and キャンセル (give up);
// the record stays as edited meanwhile. Every attempt goes through
// SaveConfig, with its debugger line. 1 once saved, 0 when given up.
int SaveConfirmedConfig();

// The cause the message names, judged after a failed save: 0 no "system"
// folder below the current one, 1 the file read-only or in use, 2 the disk
// full or the write refused.
int LikelySaveFailure();
