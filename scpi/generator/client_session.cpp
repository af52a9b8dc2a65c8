#include "scpi/generator/client_session.h"

#include "scpi/generator/message_run.h"
#include "scpi/language/command_table.h"

#include <QPointer>

namespace varlo::scpi {

ClientSession::ClientSession(GeneratorLink& generator, GeneratorLink::ClientKind kind,
                             std::string holderName, QObject* parent)
    : QObject(parent), generator_(generator), kind_(kind)
{
    generator_.lock().join(*session_, std::move(holderName));
    generator_.clientArrived(kind_);
}

ClientSession::~ClientSession()
{
    generator_.lock().leave(*session_);
    generator_.clientLeft(kind_);
}

void ClientSession::run(const ProgramMessage& line, GeneratorLink::Done done)
{
    std::vector<Step> steps;
    if (line.tooLong)
        steps.push_back(ErrorStep{errors::Syntax});
    else
        steps = stepsForMessage(line.text);
    MessageRun run(std::move(steps));
    if (messagesWaiting_ == 0 && !run.needsLine()) {
        GeneratorState sent = generator_.settings();
        done(std::get<MessageRun::Finished>(run.advance(*session_, sent, generator_.lock())).reply);
        return;
    }
    ++messagesWaiting_;
    generator_.submit(session_, std::move(run),
                      [self = QPointer<ClientSession>(this),
                       done = std::move(done)](std::optional<std::string> reply) {
                          if (!self)
                              return;
                          --self->messagesWaiting_;
                          done(std::move(reply));
                      });
}

bool ClientSession::requestLock()
{
    return generator_.lock().request(*session_);
}

bool ClientSession::releaseLock()
{
    return generator_.lock().release(*session_);
}

bool ClientSession::holdsLock() const
{
    return generator_.lock().heldBy(*session_);
}

std::optional<std::string> ClientSession::lockedBy() const
{
    return generator_.lock().heldByOther(*session_);
}

bool ClientSession::takesMore() const
{
    return messagesWaiting_ < MaxMessagesWaiting &&
           !(messagesWaiting_ > 0 && generator_.backlogFull());
}

} // namespace varlo::scpi
