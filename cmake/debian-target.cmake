# Cross build against Debian's packages of another architecture:
#
#   scripts/build-target-sysroot i386 build-i386
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
#
# Included by the toolchain files of the 32-bit (i686-linux-gnu.cmake) and
# the big-endian (s390x-linux-gnu.cmake) builds, which set
# OVIX_TARGET_TRIPLE (the cross compiler's name) and OVIX_TARGET_MULTIARCH
# (the library folder's). The sysroot (OVIX_TARGET_SYSROOT, default
# <build dir>/sysroot) is what scripts/build-target-sysroot unpacks: a root
# of that architecture with its C and C++ runtime, cgicc, libxml2, GoogleTest
# and the JDK's runtime.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${OVIX_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${OVIX_TARGET_TRIPLE}-g++)

if(NOT OVIX_TARGET_SYSROOT)
  set(OVIX_TARGET_SYSROOT "${CMAKE_BINARY_DIR}/sysroot" CACHE PATH
      "Target packages unpacked by scripts/build-target-sysroot")
endif()
if(NOT IS_DIRECTORY "${OVIX_TARGET_SYSROOT}/usr/lib/${OVIX_TARGET_MULTIARCH}")
  message(FATAL_ERROR "No ${OVIX_TARGET_MULTIARCH} sysroot at ${OVIX_TARGET_SYSROOT}: run "
          "scripts/build-target-sysroot <architecture> <build dir> first")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OVIX_TARGET_SYSROOT)
set(sysroot "${OVIX_TARGET_SYSROOT}")

# Libraries, headers and packages from the sysroot only, in Debian's layout;
# programs (bwrap, javac, ...) are the build machine's.
set(CMAKE_FIND_ROOT_PATH "${sysroot}")
set(CMAKE_LIBRARY_ARCHITECTURE ${OVIX_TARGET_MULTIARCH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${sysroot}/usr/lib/${OVIX_TARGET_MULTIARCH}/pkgconfig:${sysroot}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${sysroot}")
# The C library's headers are the cross compiler's; those of the packages
# (and ICU's, which libxml2's include) the sysroot's.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${sysroot}/usr/include")
