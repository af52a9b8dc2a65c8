#pragma once

#include "panel/user_dialogs.h"

namespace varlo {

// The real boxes: modal QMessageBoxes titled exactly as given, with no parent so they can
// come before the window is shown.
class MessageBoxDialogs final : public UserDialogs {
public:
    bool askYesNo(const std::string& title, const std::string& text) override;
    void tell(BoxIcon icon, const std::string& title, const std::string& text) override;
    // Leaves the event loop at once; main then returns and the window closes the port.
    void endProgram() override;
};

} // namespace varlo
