#pragma once

#include <string>

namespace varlo {

enum class BoxIcon { Information, Stop, Exclamation };

// Every modal box and the end of the program go through here, so tests can answer the
// boxes and see the end without a real dialog or a real exit.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // A question with Yes (the default) and No; true for Yes.
    virtual bool askYesNo(const std::string& title, const std::string& text) = 0;
    // A box with one OK button; returns when the user has closed it. Details, when there are
    // any, wait behind the box's "Show Details..." button.
    void tell(BoxIcon icon, const std::string& title, const std::string& text,
              const std::string& details = {})
    {
        showMessage(icon, title, text, details);
    }
    // Ends the program at once. The caller returns straight after.
    virtual void endProgram() = 0;
    // Whether the program has been told to end from outside (a signal): the start-up scan
    // then stops where it is, touching no further port.
    virtual bool ending() const { return false; }

private:
    virtual void showMessage(BoxIcon icon, const std::string& title, const std::string& text,
                             const std::string& details) = 0;
};

} // namespace varlo
