#pragma once

#include "BaseApplication.h"
#include "Controls.h"
#include "Dialog.h"
#include "Gdi.h"
#include "Menu.h"
#include "RegistryKey.h"
#include "Window.h"
#include "WindowHelpers.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <vector>

// The window framework: objects bound to their windows, the application
// object and its message loop, menus and accelerators, GDI owners, dialogs
// and property sheets, wrappers of the standard controls, a registry key,
// and the helpers windows share.
