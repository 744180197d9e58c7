#pragma once

// The window framework, a header a concept; this one gives callers all of
// it, and the path helpers with it.
#include "BaseApplication.h"
#include "Clipboard.h"
#include "Controls.h"
#include "Dialog.h"
#include "Gdi.h"
#include "Menu.h"
#include "Paths.h"
#include "RegistryKey.h"
#include "Window.h"
#include "WindowHelpers.h"
