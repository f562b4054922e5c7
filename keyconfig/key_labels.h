// Short texts for Windows virtual-key codes, as shown in the dialog's label
// boxes. The table is the program's own: it does not ask Windows for key
// names, so the labels do not depend on the keyboard layout or language.
#pragma once

#include <stdint.h>

// The largest label is "Multiply": 8 bytes and the terminator.
enum { KEY_LABEL_MIN_BUFFER = 9 };

// Writes the CP932 label of `code` and its terminator into `buffer` (at
// least KEY_LABEL_MIN_BUFFER bytes) and returns `buffer`. Bytes after the
// terminator are left as they were. Codes without a name give "知らん".
char *GetKeyLabel(int32_t code, char *buffer);
