# Cross toolchain: 64-bit Windows, mingw-w64 with the posix thread model. The
# test flavour for machines whose kernel runs no 32-bit code; the deliverables
# are always the i686 build's.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOL_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
