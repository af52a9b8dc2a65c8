#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A program a test starts, given where the build put it. A run from a copy of the tests (as
// a user who cannot read the build tree, tools/ci/unprivileged.sh) sets
// VARLO_RELOCATED_TESTS and must find its copy beside the running test binary: a helper the
// copy lacks ends the test program at once, rather than quietly trying the built one, which
// that user cannot run. A run in the build tree starts the built one.
inline std::string helperProgram(const std::string& built)
{
    if (std::getenv("VARLO_RELOCATED_TESTS") == nullptr)
        return built;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path beside =
        self.parent_path() / std::filesystem::path(built).filename();
    if (error || !std::filesystem::is_regular_file(beside, error)) {
        std::fprintf(stderr, "helper program %s was not copied beside the tests\n",
                     beside.string().c_str());
        std::abort();
    }
    return beside.string();
}
