# A build for powerpc64le-linux-gnu with Debian's cross compiler (apt-get install g++-powerpc64le-linux-gnu
# qemu-user); the tests run it through qemu-user:
#   cmake -S . -B build-powerpc64le-linux-gnu -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc64le-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(CMAKE_CXX_COMPILER powerpc64le-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc64le -L /usr/powerpc64le-linux-gnu)
