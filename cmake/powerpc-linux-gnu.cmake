# Cross build for the OVIX board: 32-bit big-endian PowerPC, Linux, glibc.
#
#   scripts/build-ppc-sysroot build-ppc
#   cmake -S . -B build-ppc -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake
#         [-DOVIX_PPC_CLANG=clang-15]
#
# Libraries and headers are searched only in the sysroot that
# scripts/build-ppc-sysroot makes (OVIX_TARGET_SYSROOT, default
# <build dir>/sysroot) and in the cross compiler's own root
# (OVIX_PPC_LIBC_ROOT). Programs (bwrap, javac, ...) are the build machine's.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(OVIX_TARGET_TRIPLE powerpc-linux-gnu)
# OVIX_PPC_CLANG: a clang (clang-15, say) that builds for the board in place
# of the cross GCC, with that GCC's C++ library, start files and linker.
if(OVIX_PPC_CLANG)
  string(REPLACE clang clang++ clangxx "${OVIX_PPC_CLANG}")
  set(CMAKE_C_COMPILER ${OVIX_PPC_CLANG})
  set(CMAKE_CXX_COMPILER ${clangxx})
  set(CMAKE_C_COMPILER_TARGET ${OVIX_TARGET_TRIPLE})
  set(CMAKE_CXX_COMPILER_TARGET ${OVIX_TARGET_TRIPLE})
  # The PLT read-only, as GCC makes it for Debian's powerpc (no RWX segment).
  set(CMAKE_C_FLAGS_INIT -msecure-plt)
  set(CMAKE_CXX_FLAGS_INIT -msecure-plt)
else()
  set(CMAKE_C_COMPILER ${OVIX_TARGET_TRIPLE}-gcc)
  set(CMAKE_CXX_COMPILER ${OVIX_TARGET_TRIPLE}-g++)
endif()

# Root of the cross C/C++ runtime (libc, libstdc++), as Debian's cross
# packages install it; its shared libraries are the target's.
set(OVIX_PPC_LIBC_ROOT /usr/${OVIX_TARGET_TRIPLE} CACHE PATH "Root of the target's C library")

if(NOT OVIX_TARGET_SYSROOT)
  set(OVIX_TARGET_SYSROOT "${CMAKE_BINARY_DIR}/sysroot" CACHE PATH
      "Target libraries built by scripts/build-ppc-sysroot")
endif()
if(NOT IS_DIRECTORY "${OVIX_TARGET_SYSROOT}")
  message(FATAL_ERROR "No target sysroot at ${OVIX_TARGET_SYSROOT}: "
          "run scripts/build-ppc-sysroot <build dir> first (or scripts/test-arch ppc)")
endif()
# try_compile projects read this file again in their own folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OVIX_TARGET_SYSROOT OVIX_PPC_LIBC_ROOT OVIX_PPC_CLANG)

# The C runtime's root last: the one whose shared libraries run the programs.
set(CMAKE_FIND_ROOT_PATH "${OVIX_TARGET_SYSROOT}" "${OVIX_PPC_LIBC_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the target's .pc files only (their prefix is absolute).
set(ENV{PKG_CONFIG_LIBDIR} "${OVIX_TARGET_SYSROOT}/usr/lib/pkgconfig:${OVIX_TARGET_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
