# Compiler flags shared by every target.
#
# Floating point: results must be bit-identical between runs of one binary and
# for any thread count, so nothing here may relax IEEE semantics
# (no -ffast-math, no -Ofast). -ffp-contract=off keeps the compiler from
# fusing a*b+c into an FMA, which would make results depend on the
# instruction selection of each loop (vectorised or not).
add_library(brelvik_flags INTERFACE)
target_compile_options(brelvik_flags INTERFACE
  -Wall -Wextra -Wno-unused-parameter -ffp-contract=off)

if(BRELVIK_NATIVE AND NOT BRELVIK_SANITIZE)
  include(CheckCXXCompilerFlag)
  check_cxx_compiler_flag(-march=native BRELVIK_HAS_MARCH_NATIVE)
  if(BRELVIK_HAS_MARCH_NATIVE)
    target_compile_options(brelvik_flags INTERFACE -march=native)
  endif()
endif()

if(BRELVIK_SANITIZE STREQUAL "address")
  target_compile_options(brelvik_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(brelvik_flags INTERFACE -fsanitize=address,undefined)
elseif(BRELVIK_SANITIZE STREQUAL "thread")
  target_compile_options(brelvik_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(brelvik_flags INTERFACE -fsanitize=thread)
elseif(BRELVIK_SANITIZE)
  message(FATAL_ERROR "BRELVIK_SANITIZE must be empty, 'address' or 'thread'")
endif()

# libgomp is not instrumented for ThreadSanitizer; the thread build runs the
# kernels serially (the pragmas are ignored), which gives the same results.
if(BRELVIK_OPENMP AND NOT BRELVIK_SANITIZE STREQUAL "thread")
  find_package(OpenMP REQUIRED COMPONENTS CXX)
  set(BRELVIK_USE_OPENMP ON)
else()
  set(BRELVIK_USE_OPENMP OFF)
endif()
