#pragma once

#include "scpi/vxi11/xdr.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace varlo::vxi11 {

// The longest record read from a client. The longest call the program takes is a device_write
// of MaxWriteDataBytes with the largest credential and verifier (about 5 KiB); the rest is
// room. A record announced longer is refused before its bytes are read.
inline constexpr std::size_t MaxRecordBytes = 8192;

// Records off a TCP stream. Each fragment starts with a 4-byte mark: the top bit says it is
// the last of its record, the other 31 bits give its length. Every length is checked against
// the bound before a byte of the fragment is taken, and the record grows only by the bytes
// that came, never by what the mark announces. A UDP datagram is one record as it stands,
// without a mark, and is not read through this.
class RecordReader {
public:
    explicit RecordReader(std::size_t maxRecordBytes = MaxRecordBytes)
        : maxRecordBytes_(maxRecordBytes)
    {
    }

    // Takes bytes as they come, up to the end of the next record, and returns how many it
    // took: none while a whole record waits for next(), or once the stream is refused.
    std::size_t take(ByteView bytes);
    // How many bytes take() would use next: what is left of the mark or of the fragment. A
    // connection that reads no more than this leaves the rest with TCP, which pushes back.
    std::size_t wanted() const;
    // The record whose last fragment has come.
    std::optional<Bytes> next();

    // A mark announced more than the record may hold: the connection is to be closed.
    bool refused() const { return refused_; }
    // Part of a record has come and the rest has not: the time a record may take runs.
    bool midRecord() const;

private:
    void readMark();

    std::size_t maxRecordBytes_;
    std::uint8_t mark_[4] = {};
    std::size_t markBytes_ = 0;
    std::size_t fragmentLeft_ = 0;
    bool begun_ = false; // a mark of the record has been read
    bool inFragment_ = false;
    bool lastFragment_ = false;
    bool recordDone_ = false;
    bool refused_ = false;
    Bytes record_;
};

// A reply to a stream client as one record of one fragment.
Bytes framedRecord(ByteView record);

} // namespace varlo::vxi11
