#pragma once

#include <string_view>

namespace varlo {

// Every program refuses its command line the same way: one line "PROGRAM: WHAT" on standard
// error, PROGRAM being the application's name, and exit_status::Usage, which this returns
// for main to end with. A period that ends WHAT (Qt's parser ends its texts with one) is left
// out, so that every refusal reads alike.
int refuse(std::string_view what);

} // namespace varlo
