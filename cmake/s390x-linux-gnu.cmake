# Cross build for 64-bit big-endian IBM Z (Debian's s390x) with its own Java
# VM: see debian-target.cmake. Its programs run under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(OVIX_TARGET_ARCH s390x)
set(OVIX_TARGET_TRIPLE s390x-linux-gnu)
set(OVIX_TARGET_MULTIARCH s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-target.cmake)
