# A build for riscv64-linux-gnu with Debian's cross compiler (apt-get install g++-riscv64-linux-gnu
# qemu-user); the tests run it through qemu-user:
#   cmake -S . -B build-riscv64-linux-gnu -DCMAKE_TOOLCHAIN_FILE=cmake/riscv64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(CMAKE_CXX_COMPILER riscv64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-riscv64 -L /usr/riscv64-linux-gnu)
