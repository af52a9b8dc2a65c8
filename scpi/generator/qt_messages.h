#pragma once

class QCoreApplication;

namespace varlo::scpi {

// Qt's own warnings go to the journal as the program's lines, limited as a client's refusals
// are: one client can make Qt warn thousands of times a second. Also writes the journal's
// counts every window, for as long as the application lives.
void journalQtMessages(QCoreApplication& application);

} // namespace varlo::scpi
