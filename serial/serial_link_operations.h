#pragma once

// What the two halves of the serial link share: the panel's write that waits for the line
// (serial_link.cpp) and the write that never waits (serial_link_write_now.cpp).

namespace varlo::serial_link_detail {

inline constexpr const char* HungUp = "the line hung up";

// Marks the span of one of our own operations: errors the port raises meanwhile are read
// by the operation itself.
class OperationScope {
public:
    explicit OperationScope(bool& flag) : flag_(flag), outer_(flag) { flag_ = true; }
    ~OperationScope() { flag_ = outer_; }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    bool& flag_;
    bool outer_;
};

} // namespace varlo::serial_link_detail
