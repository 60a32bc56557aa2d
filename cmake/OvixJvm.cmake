# The Java VM that the program links against.
#
# Native build: the build machine's JDK (FindJNI); tests can start a VM.
# Cross build: the device's libjvm.so when OVIX_DEVICE_JVM_DIR names a folder
# with a copy of it, else our stub (platform/jvmstub). For the board no VM
# runs under emulation: tests that need one are left out, and target programs
# run by tests load the stub (qemu's LD_LIBRARY_PATH comes before the RUNPATH)
# even when they are linked against the device's libjvm. With
# OVIX_DEVICE_JVM_RUNS (the 32-bit and big-endian stages give it, whose
# Debian architecture has a JDK) the emulated programs run that libjvm
# instead, found as on a device through OVIX_DEVICE_JVM_RPATH, and the VM
# tests run.
#
# Gives: target ovix::jvm (jni.h and libjvm); target ovix::jni (jni.h only,
# for code that loads libjvm itself when it needs the VM); OVIX_JVM_RUNPATH,
# the folder such code finds libjvm in (written into its run path);
# OVIX_JAVA_VM_RUNS, ON when a VM can start (compile the Java stand-in class,
# run the VM tests); OVIX_JNI_INCLUDE_DIRS; target jvmstub and
# OVIX_JVM_STUB_DIR, its folder.
add_library(ovix_jvm INTERFACE)
add_library(ovix::jvm ALIAS ovix_jvm)
add_library(ovix_jni INTERFACE)
add_library(ovix::jni ALIAS ovix_jni)
set(OVIX_JVM_RUNPATH "")

if(CMAKE_CROSSCOMPILING)
  set(OVIX_DEVICE_JVM_RUNS OFF CACHE BOOL
      "Emulated programs run the libjvm of OVIX_DEVICE_JVM_DIR (a VM starts), not the stub")
  set(OVIX_JAVA_VM_RUNS ${OVIX_DEVICE_JVM_RUNS})
  # jni.h and Linux's jni_md.h do not depend on the processor (jlong is
  # long long without _LP64): the build machine's JDK's headers serve.
  find_path(OVIX_JNI_INCLUDE_DIR jni.h
    PATHS "$ENV{JAVA_HOME}/include" /usr/lib/jvm/default-java/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(OVIX_JNI_INCLUDE_DIRS "${OVIX_JNI_INCLUDE_DIR}" "${OVIX_JNI_INCLUDE_DIR}/linux")
else()
  find_package(JNI REQUIRED COMPONENTS JVM)
  set(OVIX_JAVA_VM_RUNS ON)
  set(OVIX_JNI_INCLUDE_DIRS ${JNI_INCLUDE_DIRS})
endif()
target_include_directories(ovix_jvm INTERFACE ${OVIX_JNI_INCLUDE_DIRS})
target_include_directories(ovix_jni INTERFACE ${OVIX_JNI_INCLUDE_DIRS})

add_subdirectory(platform/jvmstub)  # sets OVIX_JVM_STUB_DIR

if(NOT CMAKE_CROSSCOMPILING)
  target_link_libraries(ovix_jvm INTERFACE ${JAVA_JVM_LIBRARY})
  get_filename_component(OVIX_JVM_RUNPATH "${JAVA_JVM_LIBRARY}" DIRECTORY)
  return()
endif()
# Programs that load libjvm themselves find the stub under emulation.
if(NOT OVIX_DEVICE_JVM_RUNS)
  add_dependencies(ovix_jni jvmstub)
endif()

set(OVIX_DEVICE_JVM_DIR "" CACHE PATH
    "Folder with a copy of the device's libjvm.so to link against; empty: the stub")
set(OVIX_DEVICE_JVM_RPATH "" CACHE STRING
    "Folder of libjvm.so on the device, written into the installed program's RUNPATH")
if(OVIX_DEVICE_JVM_DIR)
  if(NOT EXISTS "${OVIX_DEVICE_JVM_DIR}/libjvm.so")
    message(FATAL_ERROR "OVIX_DEVICE_JVM_DIR: no libjvm.so in ${OVIX_DEVICE_JVM_DIR}")
  endif()
  target_link_libraries(ovix_jvm INTERFACE "${OVIX_DEVICE_JVM_DIR}/libjvm.so"
    "-Wl,-rpath-link,${OVIX_DEVICE_JVM_DIR}")
  # Debian's i386 libjvm names a symbol it never binds (_SafeFetch32_impl):
  # what the VM's library leaves undefined is its own affair.
  target_link_options(ovix_jvm INTERFACE -Wl,--allow-shlib-undefined)
  if(NOT OVIX_DEVICE_JVM_RUNS)
    # Under emulation the stub stands in for it: built with every user.
    add_dependencies(ovix_jvm jvmstub)
  endif()
elseif(OVIX_DEVICE_JVM_RUNS)
  message(FATAL_ERROR "OVIX_DEVICE_JVM_RUNS needs OVIX_DEVICE_JVM_DIR")
else()
  target_link_libraries(ovix_jvm INTERFACE jvmstub)
endif()
if(OVIX_DEVICE_JVM_RPATH)
  list(APPEND CMAKE_INSTALL_RPATH "${OVIX_DEVICE_JVM_RPATH}")
endif()

# RUNPATH, not RPATH: LD_LIBRARY_PATH must be able to put the stub first.
add_link_options(-Wl,--enable-new-dtags)
if(OVIX_DEVICE_JVM_RUNS)
  set(OVIX_JVM_RUNPATH "${OVIX_DEVICE_JVM_RPATH}")
  return()
endif()
list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E "LD_LIBRARY_PATH=${OVIX_JVM_STUB_DIR}")
