# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, for std::thread
# and std::mutex). libgcc, libstdc++ and winpthread are linked statically: the programs and
# libraries need nothing but what a bare Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KIV_MINGW_TRIPLE}-windres)

# Libraries built for Windows by scripts/build-windows (GoogleTest, TinyXML) lie under
# KIV_WIN_DEPS; everything else comes from the MinGW-w64 tree, never from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KIV_MINGW_TRIPLE} ${KIV_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev, linked in: no zlib1.dll beside the program.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (64-bit only: no 32-bit prefix is needed).
find_program(KIV_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT KIV_WINE64)
  find_program(KIV_WINE64 NAMES wine64 wine)
endif()
if(KIV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KIV_WINE64})
endif()
