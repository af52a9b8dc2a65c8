#pragma once

#include <filesystem>
#include <string>

// A program a test starts, given where the build put it: the copy beside the running test
// binary when there is one, since the tests may run from a copy of the build (as a user who
// cannot read the build tree); the built one otherwise.
inline std::string helperProgram(const std::string& built)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside =
            self.parent_path() / std::filesystem::path(built).filename();
        if (std::filesystem::is_regular_file(beside, error))
            return beside.string();
    }
    return built;
}
