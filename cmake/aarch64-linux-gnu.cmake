# A build for aarch64-linux-gnu with Debian's cross compiler (apt-get install g++-aarch64-linux-gnu
# qemu-user); the tests run it through qemu-user:
#   cmake -S . -B build-aarch64-linux-gnu -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
