#pragma once

#include "panel/user_dialogs.h"

class QMessageBox;

namespace varlo {

// The real boxes: modal QMessageBoxes titled exactly as given, with no parent so they can
// come before the window is shown.
class MessageBoxDialogs final : public UserDialogs {
public:
    bool askYesNo(const std::string& title, const std::string& text) override;
    // Leaves the event loop at once; main then returns and the window closes the port.
    void endProgram() override;
    // A signal has arrived: told by the event loop, or, where none runs yet (between two
    // ports of the start-up scan), read from the signal's own record.
    bool ending() const override;

    // The program is ending on a signal: the open box, if any, is closed as if answered No,
    // and every later question is answered No and every later message left unshown, so
    // the program leaves without a box, also from the port scan before the event loop.
    void stopShowing();

private:
    void showMessage(BoxIcon icon, const std::string& title, const std::string& text,
                     const std::string& details) override;
    int showModal(QMessageBox& box);

    bool stopped_ = false;
    QMessageBox* open_ = nullptr;
};

} // namespace varlo
