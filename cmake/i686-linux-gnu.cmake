# Cross build for 32-bit little-endian x86 (Debian's i386) with its own Java
# VM: see debian-target.cmake. Its programs run under qemu-i386, as the
# machine's kernel may not run 32-bit programs itself.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OVIX_TARGET_ARCH i386)
set(OVIX_TARGET_TRIPLE i686-linux-gnu)
set(OVIX_TARGET_MULTIARCH i386-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-target.cmake)
