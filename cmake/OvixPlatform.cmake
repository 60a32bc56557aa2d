# The device's in-house libraries: logging, property and device support.
#
# By default our stand-ins in platform/ are built with the program. An
# integrator names the device's own instead, from the board's SDK:
#   OVIX_PLATFORM_INCLUDE_DIRS  folders with Logger.h, Property.h, DeviceSupport.h
#   OVIX_PLATFORM_LIBRARIES     the library files (full paths)
# Then nothing of platform/logging, platform/property or platform/devicesupport
# is configured, and those folders may be absent.
#
# Gives: target ovix::platform (headers and libraries); OVIX_PLATFORM_TARGETS,
# the stand-in targets (empty for the device's); OVIX_PLATFORM_FILES, the
# device's library files and their versioned names (for the tests' installed
# copy); OVIX_LOGGER_HEADER, the logging header used.
set(OVIX_PLATFORM_INCLUDE_DIRS "" CACHE STRING
    "Folders with the device's logging, property and device-support headers; empty: the stand-ins")
set(OVIX_PLATFORM_LIBRARIES "" CACHE STRING
    "The device's logging, property and device-support library files; empty: the stand-ins")
add_library(ovix_platform INTERFACE)
add_library(ovix::platform ALIAS ovix_platform)

if(NOT OVIX_PLATFORM_INCLUDE_DIRS AND NOT OVIX_PLATFORM_LIBRARIES)
  add_subdirectory(platform/logging)
  add_subdirectory(platform/property)
  add_subdirectory(platform/devicesupport)
  set(OVIX_PLATFORM_TARGETS ovixlog ovixproperty ovixdevicesupport)
  target_link_libraries(ovix_platform INTERFACE ${OVIX_PLATFORM_TARGETS})
  set(OVIX_LOGGER_HEADER ${PROJECT_SOURCE_DIR}/platform/logging/Logger.h)
  return()
endif()

if(NOT OVIX_PLATFORM_INCLUDE_DIRS OR NOT OVIX_PLATFORM_LIBRARIES)
  message(FATAL_ERROR "The device's libraries need both OVIX_PLATFORM_INCLUDE_DIRS "
          "and OVIX_PLATFORM_LIBRARIES")
endif()
# Each header the program includes, in the folders given and nowhere else
# (the first folder that has it).
foreach(header Logger.h Property.h DeviceSupport.h)
  set(found "")
  foreach(dir IN LISTS OVIX_PLATFORM_INCLUDE_DIRS)
    if(NOT found AND EXISTS "${dir}/${header}")
      set(found "${dir}/${header}")
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "${header} is in none of OVIX_PLATFORM_INCLUDE_DIRS "
            "(${OVIX_PLATFORM_INCLUDE_DIRS}); if the device names it otherwise, "
            "put a ${header} that includes the device's header in a folder of its own and add it")
  endif()
  if(header STREQUAL "Logger.h")
    set(OVIX_LOGGER_HEADER "${found}")
  endif()
endforeach()
set(OVIX_PLATFORM_FILES "")
foreach(library IN LISTS OVIX_PLATFORM_LIBRARIES)
  if(NOT IS_ABSOLUTE "${library}" OR NOT EXISTS "${library}")
    message(FATAL_ERROR "OVIX_PLATFORM_LIBRARIES: ${library} is not a library file "
            "(give each one's full path)")
  endif()
  # The file and the names it goes by (libX.so.1 beside libX.so).
  file(GLOB versions "${library}.*")
  list(APPEND OVIX_PLATFORM_FILES "${library}" ${versions})
endforeach()
set(OVIX_PLATFORM_TARGETS "")
target_include_directories(ovix_platform INTERFACE ${OVIX_PLATFORM_INCLUDE_DIRS})
target_link_libraries(ovix_platform INTERFACE ${OVIX_PLATFORM_LIBRARIES})
