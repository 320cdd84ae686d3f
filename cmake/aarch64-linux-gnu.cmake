# Cross-builds for 64-bit ARM with Debian's crossbuild-essential-arm64 and the :arm64
# development packages (dpkg multiarch).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Programs from the build machine, libraries and headers only for the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the arm64 .pc files, never the build machine's.
set(_pc_dirs "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
# Debian's liblo-dev is not multiarch: its arm64 package would remove the amd64 one the native
# build needs. The arm64 library (liblo7:arm64) and the shared headers do, through a .pc of ours.
set(_lo /usr/lib/aarch64-linux-gnu/liblo.so.7)
if(EXISTS ${_lo} AND NOT EXISTS /usr/lib/aarch64-linux-gnu/pkgconfig/liblo.pc)
  # Once per run, in the build folder: the compiler checks read this file again in folders
  # of their own that they delete.
  if(NOT DEFINED ENV{QUORVEX_CROSS_LIBLO})
    set(ENV{QUORVEX_CROSS_LIBLO} ${CMAKE_BINARY_DIR}/cross-liblo)
  endif()
  set(_lo_dir $ENV{QUORVEX_CROSS_LIBLO})
  file(MAKE_DIRECTORY ${_lo_dir})
  file(CREATE_LINK ${_lo} ${_lo_dir}/liblo.so SYMBOLIC)
  file(WRITE ${_lo_dir}/liblo.pc "Name: liblo\nDescription: liblo7:arm64\nVersion: 0.31\n"
                                 "Libs: -L${_lo_dir} -llo -lpthread\nCflags:\n")
  set(_pc_dirs "${_lo_dir}:${_pc_dirs}")
endif()
set(ENV{PKG_CONFIG_LIBDIR} "${_pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
# Programs built here run under the emulator with the :arm64 C library of dpkg multiarch. Not
# with -L /usr/aarch64-linux-gnu: its loader is the cross C library's, of another Debian
# revision than the multiarch libc.so.6 it then loads, and a program mixing the two spins
# in its first pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
