#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace varlo::scpi {

// A client's bytes cut into lines at LF, a CR before it dropped. It holds at most one
// unfinished line of MaxLineBytes and what was added last: a longer line is thrown away as
// it comes, up to its end, and then reported once as too long.
class InputLines {
public:
    static constexpr std::size_t MaxLineBytes = 4096;

    struct Line {
        std::string text;
        bool tooLong = false;
    };

    // Add more only once next() has nothing left: then the buffer stays small.
    void add(std::string_view bytes);
    std::optional<Line> next();
    // A whole line waits to be taken.
    bool hasLine() const;

private:
    void dropOverlong();

    std::string pending_;
    bool discarding_ = false;
};

} // namespace varlo::scpi
