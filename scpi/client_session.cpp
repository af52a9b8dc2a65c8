#include "scpi/client_session.h"

#include "scpi/command_table.h"
#include "scpi/line_run.h"

#include <QPointer>

namespace varlo::scpi {

ClientSession::ClientSession(GeneratorLink& generator, QObject* parent)
    : QObject(parent), generator_(generator)
{
}

void ClientSession::run(const InputLines::Line& line, GeneratorLink::Done done)
{
    std::vector<Step> steps;
    if (line.tooLong)
        steps.push_back(ErrorStep{Error::Syntax});
    else
        steps = stepsForLine(line.text);
    LineRun run(std::move(steps));
    if (linesWaiting_ == 0 && !run.needsLine()) {
        GeneratorState sent = generator_.settings();
        done(std::get<LineRun::Finished>(run.advance(*session_, sent)).reply);
        return;
    }
    ++linesWaiting_;
    generator_.submit(session_, std::move(run),
                      [self = QPointer<ClientSession>(this),
                       done = std::move(done)](std::optional<std::string> reply) {
                          if (!self)
                              return;
                          --self->linesWaiting_;
                          done(std::move(reply));
                      });
}

bool ClientSession::takesMore() const
{
    return linesWaiting_ < MaxLinesWaiting && !(linesWaiting_ > 0 && generator_.backlogFull());
}

} // namespace varlo::scpi
