# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds 64-bit Windows programs with Debian's MinGW-w64 (the POSIX-threads variant, which
# std::thread needs). Programs link libgcc, libstdc++, winpthread and every other library
# statically, so an .exe runs on Windows or under Wine without any DLL beside it.
#
#   cmake -S . -B build-mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DKELMORA_MINGW_DEPS=<prefix holding libdeflate and GoogleTest built for MinGW> \
#         -DKELMORA_MINGW_QT=<prefix of Qt built for MinGW>  (or -DKELMORA_BUILD_GUI=OFF)
#
# When wine is installed, ctest runs the test programs through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELMORA_MINGW_TRIPLE}-windres)

# Libraries built for MinGW outside Debian's packages (scripts/test-windows builds them).
set(KELMORA_MINGW_DEPS "" CACHE PATH "Install prefix of the libraries built for MinGW-w64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELMORA_MINGW_DEPS)

# Qt 6 for Windows (scripts/build-windows-qt builds it); its tools (moc, rcc, uic) are the host's
# Qt of the same version.
set(KELMORA_MINGW_QT "" CACHE PATH "Install prefix of Qt 6 built for MinGW-w64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELMORA_MINGW_QT)

set(CMAKE_FIND_ROOT_PATH /usr/${KELMORA_MINGW_TRIPLE})
if(KELMORA_MINGW_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELMORA_MINGW_DEPS})
endif()
if(KELMORA_MINGW_QT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELMORA_MINGW_QT})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries only. -static covers what the compiler links by name (libstdc++, libgcc,
# winpthread); zlib is found by path, and Debian's MinGW zlib ships an import library (libz.dll.a)
# that would make every program need zlib1.dll. CMake's Windows platform file resets
# CMAKE_FIND_LIBRARY_SUFFIXES after this file, so FindZLIB's own switch does it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(ZLIB_USE_STATIC_LIBS ON)

# pkg-config must describe the Windows libraries, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${KELMORA_MINGW_DEPS}/lib/pkgconfig:/usr/${KELMORA_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(KELMORA_WINE wine)
if(KELMORA_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELMORA_WINE})
endif()
