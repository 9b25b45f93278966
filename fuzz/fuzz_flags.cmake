# Included by the top-level CMakeLists.txt before any target is defined when
# TIVARNE_FUZZ is on: every object of the build is instrumented for libFuzzer
# (coverage only; the fuzz targets link the fuzzer's main) and compiled with
# AddressSanitizer and UndefinedBehaviorSanitizer.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TIVARNE_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
endif()
set(TIVARNE_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
add_compile_options(-fsanitize=fuzzer-no-link ${TIVARNE_SANITIZE_FLAGS} -g)
add_link_options(${TIVARNE_SANITIZE_FLAGS})
