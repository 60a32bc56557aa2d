# Cross build for 32-bit little-endian x86 (Debian's i386): see
# debian-target.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OVIX_TARGET_TRIPLE i686-linux-gnu)
set(OVIX_TARGET_MULTIARCH i386-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-target.cmake)
