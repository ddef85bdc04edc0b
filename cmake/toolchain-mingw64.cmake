# Cross toolchain for the Windows build: mingw-w64 g++ 12 with the posix
# thread model (std::thread, std::mutex), every program linked statically.
# Tests run under Wine through scripts/wine-run (cmake/windows.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(zs_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${zs_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${zs_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${zs_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${zs_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The host's Boost and GoogleTest package files would bring /usr/include in.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
