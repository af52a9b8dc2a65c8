# Checked builds, each in a build directory of its own:
#   VARLO_SANITIZE  AddressSanitizer and UndefinedBehaviorSanitizer over everything the
#                   project compiles (tools/ci/sanitize.sh runs the whole test suite so).
#   VARLO_FUZZ      libFuzzer targets for the rules that read untrusted input, clang only
#                   (tools/ci/fuzz.sh); the code they reach is instrumented for coverage.
# Their flags are the target varlo_sanitizers, which every project target links beside
# varlo_warnings; it is empty when neither is on.
include_guard(GLOBAL)

option(VARLO_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VARLO_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(VARLO_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VARLO_FUZZ needs clang (libFuzzer), not ${CMAKE_CXX_COMPILER_ID}")
endif()

add_library(varlo_sanitizers INTERFACE)
if(VARLO_SANITIZE OR VARLO_FUZZ)
    set(varlo_sanitizers address,undefined)
    if(VARLO_FUZZ)
        set(varlo_sanitizers fuzzer-no-link,${varlo_sanitizers})
    endif()
    # Any finding stops the run: no report scrolls past unnoticed.
    target_compile_options(varlo_sanitizers INTERFACE
        -fsanitize=${varlo_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(varlo_sanitizers INTERFACE -fsanitize=address,undefined)
endif()
