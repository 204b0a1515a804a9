// Resource identifiers of the product's executable (icons, manifest, version).
#pragma once

// Icons; IDI_APP comes first so that it is the executable's own icon.
#define IDI_APP 1
#define IDI_TRAY_GREEN 101
#define IDI_TRAY_YELLOW 102
#define IDI_TRAY_RED 103
#define IDI_SETUP 111
#define IDI_LOG 112
#define IDI_EXIT 113
#define IDI_OK 114
#define IDI_CANCEL 115
