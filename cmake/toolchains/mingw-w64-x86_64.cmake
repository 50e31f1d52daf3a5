# Cross-compiling the Windows programs on Debian with mingw-w64 (the "posix" thread model, so that
# std::thread and std::mutex work) and running them under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static puts the C++ runtime and winpthreads into each program, so that it imports only system
# DLLs and runs with nothing copied beside it. The project adds -municode itself (cmake/corvane.cmake):
# CMake's compiler checks link a plain main(), which -municode would refuse.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run through Wine, with the project's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine_run.sh)
