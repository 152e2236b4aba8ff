# A build for s390x-linux-gnu with Debian's cross compiler (apt-get install g++-s390x-linux-gnu
# qemu-user); the tests run it through qemu-user:
#   cmake -S . -B build-s390x-linux-gnu -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
