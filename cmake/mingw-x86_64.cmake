# 64-bit Windows: the same sources, for running the Windows tests under Wine
# on a machine whose kernel does not run 32-bit programs.
set(VORNEX_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
