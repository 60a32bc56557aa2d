# What a cross build adds to the machine its toolchain file describes
# (compilers, root, search modes, processor), so that a board SDK's own
# toolchain file serves as it is: the target's root as the only place of its
# libraries and headers, the link of that root's shared libraries, and the
# emulator that runs the target's programs in the tests.
#
# Gives: CMAKE_CROSSCOMPILING_EMULATOR, unless given: qemu-user for the
# target's processor (OVIX_QEMU) with the target's root, and the processor
# model OVIX_QEMU_CPU when one is named.

# A root given only by the --sysroot that CXX carries (an SDK's environment
# script) is searched as a toolchain file's root is.
if(NOT CMAKE_SYSROOT AND "${CMAKE_CXX_COMPILER_ARG1} ${CMAKE_CXX_FLAGS}" MATCHES "--sysroot[= ]([^ ]+)")
  list(APPEND CMAKE_FIND_ROOT_PATH "${CMAKE_MATCH_1}")
endif()
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()
# Libraries, headers and packages from the target's root only, never from
# this machine, whatever the toolchain file says.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The shared libraries of a root that is not the compiler's sysroot need
# others of that root (Debian's libxml2: ICU, lzma, zlib): the linker looks
# for them there. In CMAKE_SYSROOT it does so by itself.
if(NOT CMAKE_SYSROOT AND CMAKE_LIBRARY_ARCHITECTURE)
  set(libdirs "")
  foreach(target_root IN LISTS CMAKE_FIND_ROOT_PATH)
    foreach(dir lib usr/lib)
      if(IS_DIRECTORY "${target_root}/${dir}/${CMAKE_LIBRARY_ARCHITECTURE}")
        list(APPEND libdirs "${target_root}/${dir}/${CMAKE_LIBRARY_ARCHITECTURE}")
      endif()
    endforeach()
  endforeach()
  if(libdirs)
    list(JOIN libdirs : libdirs)
    add_link_options("-Wl,-rpath-link,${libdirs}")
  endif()
endif()

# The tests run the target's programs under qemu-user with the root that
# holds the target's C runtime as theirs: CMAKE_SYSROOT, else the last root
# of CMAKE_FIND_ROOT_PATH (our toolchain files name that one last).
set(OVIX_QEMU_CPU "" CACHE STRING
    "Processor model for the emulator (qemu-ppc -cpu help lists them); empty: qemu's default")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
set(qemu_arch ${CMAKE_SYSTEM_PROCESSOR})
if(qemu_arch STREQUAL "powerpc")
  set(qemu_arch ppc)
elseif(qemu_arch MATCHES "^i[3-6]86$")
  set(qemu_arch i386)
endif()
find_program(OVIX_QEMU qemu-${qemu_arch} NO_CMAKE_FIND_ROOT_PATH)
if(NOT OVIX_QEMU)
  if(NOT DEFINED BUILD_TESTING OR BUILD_TESTING)
    message(FATAL_ERROR "qemu-${qemu_arch} not found, which runs the tests: install qemu-user "
            "(scripts/install-deps), give CMAKE_CROSSCOMPILING_EMULATOR, or build without "
            "tests (-DBUILD_TESTING=OFF)")
  endif()
  return()
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR "${OVIX_QEMU}")
if(CMAKE_SYSROOT)
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L "${CMAKE_SYSROOT}")
elseif(CMAKE_FIND_ROOT_PATH)
  list(GET CMAKE_FIND_ROOT_PATH -1 runtime_root)
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L "${runtime_root}")
endif()
# The board's processor model, so that tests fail on instructions it lacks.
if(OVIX_QEMU_CPU)
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -cpu "${OVIX_QEMU_CPU}")
endif()
