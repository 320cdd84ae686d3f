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
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# Programs built here run under the emulator with the :arm64 C library of dpkg multiarch. Not
# with -L /usr/aarch64-linux-gnu: its loader is the cross C library's, of another Debian
# revision than the multiarch libc.so.6 it then loads, and a program mixing the two spins
# in its first pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
