# The fuzz build (-DTW_FUZZ=ON, clang only): every library is compiled with libFuzzer's coverage
# instrumentation and the sanitizers; the harnesses (tests/CMakeLists.txt) link libFuzzer itself.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TW_FUZZ needs clang: configure a fresh build folder with CC=clang CXX=clang++")
endif()

include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -fsanitize=fuzzer,address,undefined)
set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=fuzzer,address,undefined)
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]] TW_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(NOT TW_HAVE_LIBFUZZER)
  unset(TW_HAVE_LIBFUZZER CACHE)  # asked again once the runtime is there
  message(FATAL_ERROR "clang cannot link libFuzzer with the sanitizers: its runtime is missing "
                      "(Debian: TW_WITH_FUZZ=1 scripts/setup.sh installs libclang-rt-14-dev)")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)

set(TW_FUZZ_SECONDS 60 CACHE STRING "How long the target <harness>_run of a fuzz build fuzzes")
