// The debug console: diagnostics for developers, written to standard error
// only when the environment variable QUIVRA_DEBUG is set (and not "0").
#pragma once

#if defined(__GNUC__)
#define QUIVRA_PRINTF_FORMAT(a, b) __attribute__((format(printf, a, b)))
#else
#define QUIVRA_PRINTF_FORMAT(a, b)
#endif

bool DebugConsoleEnabled();
void DebugPrint(const char* format, ...) QUIVRA_PRINTF_FORMAT(1, 2);
