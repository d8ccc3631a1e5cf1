# Cross build for 64-bit Windows with mingw-w64. The "-posix" compilers bring the C++
# thread support that GoogleTest needs; -static keeps their runtime out of the shipped files.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PIVOTRA_MINGW_PREFIX x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
