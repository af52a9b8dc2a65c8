#pragma once

#include <QTcpServer>

#include <functional>

namespace varlo::scpi {

// Hands each accepted connection over as its bare descriptor, for a ClientStream to take.
class DescriptorServer final : public QTcpServer {
public:
    explicit DescriptorServer(std::function<void(int)> take) : take_(std::move(take)) {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::function<void(int)> take_;
};

} // namespace varlo::scpi
