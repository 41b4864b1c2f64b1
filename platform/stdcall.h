// The calling convention of Windows API and COM entry points. Portable code declares the
// signatures of what it binds dynamically with it; off 32-bit Windows it means nothing.
#pragma once

#if defined(_WIN32) && defined(__i386__)
#define TW_STDCALL __attribute__((stdcall))
#else
#define TW_STDCALL
#endif
