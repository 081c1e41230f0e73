# The build's safety switches, each with a preset in CMakePresets.json:
#   VANTORO_WERROR     our warnings fail the build
#   VANTORO_SANITIZE   address, undefined (together or alone), or thread
#   VANTORO_BENCHMARKS the executables in bench/
#   VANTORO_POSTGRES   the PostgreSQL report store of the stand-alone server
#   VANTORO_FUZZ       the libFuzzer harnesses in fuzz/ (clang; implies
#                      address,undefined)
# and ccache when it is installed. The configure step ends with a summary.

option(VANTORO_WERROR "Treat warnings in our own code as errors" OFF)
set(VANTORO_SANITIZE "" CACHE STRING
    "Sanitizers to build everything with: address, undefined, address,undefined or thread")
option(VANTORO_BENCHMARKS "Build the benchmarks (they share the tests' fakes: needs BUILD_TESTING)" ON)
option(VANTORO_POSTGRES
       "Build the stand-alone content server with the PostgreSQL report store (libpq)" ON)
option(VANTORO_FUZZ "Build the libFuzzer harnesses of the content server's parsers (clang only)" OFF)

# libFuzzer ships with clang alone. A fuzz build is an address and
# undefined-behaviour build whose every object also feeds libFuzzer its
# coverage (fuzzer-no-link), so that the parsers' branches guide the inputs;
# only the harnesses link the fuzzer's main.
if(VANTORO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VANTORO_FUZZ needs clang, whose libFuzzer the harnesses link; this "
                        "build's compiler is ${CMAKE_CXX_COMPILER_ID}. Configure a new build "
                        "folder with -DCMAKE_CXX_COMPILER=clang++ (cmake --preset fuzz does).")
  endif()
  if(VANTORO_SANITIZE AND NOT VANTORO_SANITIZE STREQUAL "address,undefined")
    message(FATAL_ERROR "VANTORO_FUZZ builds with address,undefined; "
                        "VANTORO_SANITIZE=${VANTORO_SANITIZE} cannot be added to it")
  endif()
  set(VANTORO_SANITIZE "address,undefined")
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

include(FeatureSummary)
add_feature_info(werror VANTORO_WERROR "our warnings fail the build")
add_feature_info(benchmarks VANTORO_BENCHMARKS "the benchmarks in bench/")
add_feature_info(postgres VANTORO_POSTGRES
                 "vantoro-content-server keeps reports in PostgreSQL for several processes; the application never links libpq")
add_feature_info(sanitizers VANTORO_SANITIZE "built with the sanitizers named by VANTORO_SANITIZE")
add_feature_info(ccache VANTORO_CCACHE "compiles go through ccache")
add_feature_info(fuzz VANTORO_FUZZ "the libFuzzer harnesses in fuzz/")

# A machine that has built before recompiles only what changed.
find_program(VANTORO_CCACHE ccache)
if(VANTORO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${VANTORO_CCACHE})
endif()

# Our warnings, for our own targets only: each links this privately, so
# Qt's headers and generated code are judged by their own authors' flags.
add_library(vantoro_warnings INTERFACE)
add_library(vantoro::warnings ALIAS vantoro_warnings)
target_compile_options(vantoro_warnings INTERFACE -Wall -Wextra
                       $<$<BOOL:${VANTORO_WERROR}>:-Werror>)

# Sanitizers apply to every object of the process, ours and the tests', or
# they report what they cannot see as faults.
if(VANTORO_SANITIZE)
  string(REPLACE "," ";" sanitizers "${VANTORO_SANITIZE}")
  foreach(s IN LISTS sanitizers)
    if(NOT s MATCHES "^(address|undefined|thread)$")
      message(FATAL_ERROR "VANTORO_SANITIZE: unknown sanitizer '${s}' "
                          "(use address, undefined, address,undefined or thread)")
    endif()
  endforeach()
  if("thread" IN_LIST sanitizers AND "address" IN_LIST sanitizers)
    message(FATAL_ERROR "VANTORO_SANITIZE: thread and address cannot be combined")
  endif()
  list(JOIN sanitizers "," flag)
  add_compile_options(-fsanitize=${flag} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${flag})
  if("undefined" IN_LIST sanitizers)
    # Undefined behaviour fails the test instead of scrolling past in its log.
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
