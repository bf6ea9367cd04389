// What the toolchain of each platform needs to export a library's entries and check formats.
#pragma once

#ifdef _WIN32
// A plain C export by name; x64 Windows has one calling convention, caller-cleans-stack.
#define KIV_EXPORT extern "C" __declspec(dllexport)
// MinGW's C++ runtime formats as the GNU library does.
#define KIV_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define KIV_EXPORT extern "C" __attribute__((visibility("default")))
#define KIV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
