# Cross-building for Windows with Debian's mingw-w64 (the posix thread model,
# which std::thread and std::mutex need). VORNEX_MINGW_ARCH picks the target:
# i686 for the product, x86_64 only to run the Windows tests under a Wine
# that cannot start 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VORNEX_MINGW_ARCH)
  set(VORNEX_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${VORNEX_MINGW_ARCH})
set(_triple ${VORNEX_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One executable that needs no DLL of the toolchain beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
