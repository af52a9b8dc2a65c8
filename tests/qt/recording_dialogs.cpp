#include "tests/qt/recording_dialogs.h"

bool RecordingDialogs::askYesNo(const std::string& title, const std::string& text)
{
    boxes.push_back({"question", title, text});
    if (onQuestion)
        onQuestion(text);
    if (answers.empty())
        return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void RecordingDialogs::showMessage(varlo::BoxIcon icon, const std::string& title,
                                   const std::string& text, const std::string& details)
{
    const char* kind = icon == varlo::BoxIcon::Information ? "information"
                       : icon == varlo::BoxIcon::Stop      ? "stop"
                                                           : "exclamation";
    boxes.push_back({kind, title, text, details});
}

void RecordingDialogs::endProgram()
{
    ended = true;
}
