#pragma once

#include "panel/user_dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Answers the program's boxes from a script and records every box and the end of the
// program, in the order they happened.
class RecordingDialogs final : public varlo::UserDialogs {
public:
    struct Box {
        std::string kind; // "question", "information", "stop", "exclamation"
        std::string title;
        std::string text;
        std::string details = {};
        bool operator==(const Box&) const = default;
    };

    // Answers for the coming questions, in order; once they run out, every answer is No.
    std::deque<bool> answers;
    std::vector<Box> boxes;
    bool ended = false;
    // Called at each question, before it is answered (e.g. to look at the ports then).
    std::function<void(const std::string&)> onQuestion;

    bool askYesNo(const std::string& title, const std::string& text) override;
    void endProgram() override;

private:
    void showMessage(varlo::BoxIcon icon, const std::string& title, const std::string& text,
                     const std::string& details) override;
};
