// The program's module instance, for resources and windows.
#pragma once

#include <windows.h>

// Set once by the entry before any window exists.
extern HINSTANCE g_hInst;
