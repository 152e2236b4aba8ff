# A build for i686-linux-gnu with Debian's cross compiler (apt-get install g++-i686-linux-gnu
# qemu-user); the tests run it through qemu-user:
#   cmake -S . -B build-i686-linux-gnu -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# A processor with SSSE3 and no AVX2, so that the tests run the movers that
# x86 processors without AVX2 take; this machine's own build runs the AVX2 ones.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -cpu n270 -L /usr/i686-linux-gnu)
