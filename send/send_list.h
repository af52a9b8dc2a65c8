#pragma once

#include <string>
#include <vector>

namespace varlo::send {

// --list: one line per port, COM1 to COM16, with the device it stands for and its state
// ("COM3 (/dev/ttyS2): present and free", "...: busy: minicom (pid 4242) holds it").
std::vector<std::string> portListLines();

} // namespace varlo::send
