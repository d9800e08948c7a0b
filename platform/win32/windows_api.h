#pragma once
// <windows.h> (and the multimedia timer API) for the platform's Windows side, without the macros
// that would rename this system's own functions: Windows maps names such as SetCurrentDirectory to
// their ANSI or wide variant and defines Yield as nothing.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <mmsystem.h>

#undef SetCurrentDirectory
#undef SetEnvironmentVariable
#undef WriteProfileString
#undef Yield
