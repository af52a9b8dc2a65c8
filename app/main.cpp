#include "app/command_line.h"
#include "app/message_box_dialogs.h"
#include "panel/panel_window.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (const auto status = varlo::answerCommandLine(argc, argv))
        return *status;

    QApplication app(argc, argv);
    // The name only identifies the program to the system; window titles stay exactly as set.
    QApplication::setApplicationName(QStringLiteral("varlo"));

    varlo::MessageBoxDialogs dialogs;
    varlo::Varlo54 window(dialogs);
    // The port scan asks its questions before the panel appears; without a port, no panel.
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}
