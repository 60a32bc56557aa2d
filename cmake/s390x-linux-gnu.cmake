# Cross build for 64-bit big-endian IBM Z (Debian's s390x): see
# debian-target.cmake.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(OVIX_TARGET_TRIPLE s390x-linux-gnu)
set(OVIX_TARGET_MULTIARCH s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-target.cmake)
