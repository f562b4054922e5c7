// Run-time fitting of the dialog's texts to their controls, for display
// scales and fonts under which the template's fixed sizes fall short.
#pragma once

#include <windows.h>

// Measures every text of the dialog's controls in the control's own font
// and moves or widens only the controls whose text does not fit, within
// the room their neighbours and enclosing group box leave. A control whose
// text fits is not touched. Returns how many controls were changed.
int FitDialogTexts(HWND dialog);

// The pixels a control's frame takes from its text, across and down: the
// check mark of a radio, a push button's edges, a group box's indent, the
// margins of an edit box. 0 for a plain static text.
SIZE TextRoom(HWND control);

// The width and height of `control`'s text in its own font; for a label
// box, of the widest text any key can give it.
SIZE TextExtent(HWND control);
