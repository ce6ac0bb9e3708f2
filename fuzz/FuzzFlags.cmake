# With RIRIRED_BUILD_FUZZERS every target of the tree is built with coverage
# for libFuzzer and with AddressSanitizer and UBSan, so that the libraries the
# fuzzers drive are instrumented too. Included before the source directories.
if(RIRIRED_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "RIRIRED_BUILD_FUZZERS needs clang (CXX=clang++)")
  endif()
  if(ENABLE_ASAN OR ENABLE_TSAN)
    message(FATAL_ERROR "RIRIRED_BUILD_FUZZERS brings its own sanitizers")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
