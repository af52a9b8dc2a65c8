#include "scpi/generator/generator_lock.h"

#include <utility>

namespace varlo::scpi {

void GeneratorLock::join(const Session& client, std::string name)
{
    names_[&client] = std::move(name);
}

void GeneratorLock::leave(const Session& client)
{
    names_.erase(&client);
    if (heldBy(client))
        setHolder(nullptr);
}

bool GeneratorLock::request(const Session& client)
{
    if (holder_ == nullptr && names_.contains(&client))
        setHolder(&client);
    return heldBy(client);
}

bool GeneratorLock::release(const Session& client)
{
    if (!heldBy(client))
        return false;
    setHolder(nullptr);
    return true;
}

std::optional<std::string> GeneratorLock::heldByOther(const Session& client) const
{
    if (holder_ == nullptr || heldBy(client))
        return std::nullopt;
    return holder();
}

std::optional<std::string> GeneratorLock::holder() const
{
    if (holder_ == nullptr)
        return std::nullopt;
    return names_.at(holder_);
}

void GeneratorLock::setHolder(const Session* holder)
{
    holder_ = holder;
    if (changed_)
        changed_();
}

} // namespace varlo::scpi
