# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads, for
# std::mutex and GoogleTest), statically linked so the executables need no
# extra DLLs; CTest runs them under Wine, in a prefix of the build folder
# (wine-emulator.sh makes it on first use; KELVARO_WINE_PREFIX names another).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# GCC 12 warns about its own std::u16string concatenation when optimising
# (a false -Wrestrict positive inside libstdc++, GCC bug 105651).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh ${CMAKE_BINARY_DIR}/wine-prefix)
