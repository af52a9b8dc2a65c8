#include "serial/comm_error_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ErrorCase {
    const char* name;
    int code;
    std::string text;
};

class CommErrorText : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CommErrorText, WordsTheCode)
{
    EXPECT_EQ(varlo::commErrorText(static_cast<std::int16_t>(GetParam().code)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CommErrorText,
    ::testing::Values(ErrorCase{"bad_id", -1, "Invalid or Unsupported ID"},
                      ErrorCase{"already_open", -2, "Device already open"},
                      ErrorCase{"not_open", -3, "Device not Open"},
                      ErrorCase{"no_memory", -4, "Unable to allocate queues"},
                      ErrorCase{"bad_defaults", -5, "Error in default parameters"},
                      ErrorCase{"no_hardware", -10, "Hardware not present"},
                      ErrorCase{"byte_size", -11, "Illegal byte size"},
                      ErrorCase{"baud_rate", -12, "Unsupported baudrate"},
                      ErrorCase{"unlisted_negative", -7, "Requested mode unsupported"},
                      ErrorCase{"unlisted_negative_13", -13, "Requested mode unsupported"},
                      ErrorCase{"zero", 0, "Unlist error : 0 (&H0)"},
                      ErrorCase{"bit_0x2000", 8192, "Unlist error : 8192 (&H2000)"},
                      ErrorCase{"bit_0x4000", 16384, "Unlist error : 16384 (&H4000)"},
                      ErrorCase{"both_textless_bits", 24576, "Unlist error : 24576 (&H6000)"},
                      ErrorCase{"rx_overflow", 0x0001, "Receive queue overflow"},
                      ErrorCase{"last_set_bit_wins", 3, "Receive overrun error"},
                      ErrorCase{"parity", 0x0004, "Receive parity error"},
                      ErrorCase{"framing", 0x0008, "Receive framing error"},
                      ErrorCase{"break", 0x0010, "Break detected"},
                      ErrorCase{"cts", 0x0020, "CTS timeout"},
                      ErrorCase{"dsr", 0x0040, "DSR timeout"},
                      ErrorCase{"rlsd", 0x0080, "RLSD timeout"},
                      ErrorCase{"tx_full", 0x0100, "Tx queue is full"},
                      ErrorCase{"tx_full_with_rx", 0x0101, "Tx queue is full"},
                      ErrorCase{"lpt_timeout", 0x0200, "LPTx timeout"},
                      ErrorCase{"lpt_io", 0x0400, "LPTx I/O error"},
                      ErrorCase{"lpt_select", 0x0800, "LPTx device not selected"},
                      ErrorCase{"paper", 0x1000, "LPTx out of paper"},
                      ErrorCase{"mixed_bits", 0x1234, "LPTx out of paper"},
                      ErrorCase{"textless_bit_with_flag", 0x2001, "Receive queue overflow"},
                      ErrorCase{"sign_bit_only", -32768, "Requested mode unsupported"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
