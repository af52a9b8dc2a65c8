# Warnings for everything the project compiles itself, defined once for the whole tree and for
# the benchmark's own build (tools/bench). VARLO_WERROR turns them into errors: CI builds with
# it on; it is off by default so that a newer compiler's new warnings do not stop a user's build.
include_guard(GLOBAL)

option(VARLO_WERROR "Treat compiler warnings as errors" OFF)

add_library(varlo_warnings INTERFACE)
target_compile_options(varlo_warnings INTERFACE -Wall -Wextra -Wpedantic
                                                $<$<BOOL:${VARLO_WERROR}>:-Werror>)
