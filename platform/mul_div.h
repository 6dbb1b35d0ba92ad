// Rounding multiply-divide: a * b / c at 64-bit width, half away from zero.
// Returns -1 when c is 0 or the result does not fit in 32 bits. The program
// uses kernel32's, declared exactly as there so that files which also
// include <windows.h> see one function; native builds have their own
// (mul_div_posix.cpp).
#pragma once

#ifdef _WIN32
extern "C" __declspec(dllimport) int __stdcall MulDiv(int a, int b, int c);
#else
int MulDiv(int a, int b, int c);
#endif
