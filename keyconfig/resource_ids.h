// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDD_KEY_CONFIG 101  // the dialog "KEY CONFIG"
#define IDI_APPLICATION_ICON 103
