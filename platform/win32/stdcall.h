// The calling convention of Windows API entry points. The backend's files that build without
// <windows.h> declare the signatures of what they bind with it; off 32-bit Windows it means
// nothing.
#pragma once

#if defined(_WIN32) && defined(__i386__)
#define TW_STDCALL __attribute__((stdcall))
#else
#define TW_STDCALL
#endif
