#pragma once
// The sending side of the serial line: a queue of byte segments written to a non-blocking
// descriptor at 9600 bit/s 8N1 (960 bytes a second), or as fast as the descriptor takes them.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace unitsim {

using SteadyClock = std::chrono::steady_clock;
using Time = SteadyClock::time_point;

constexpr int bytesPerSecond = 960;

// A picture travelling in a segment, to be logged once its segment has left.
struct PictureTag {
    int call = 0;
    int index = 0;         // 1-based within the call
    std::size_t size = 0;  // bytes of the whole picture
    std::string sha256;    // of the whole picture
    std::string fault;     // why the segment holds less than the whole picture; empty if whole
};

// Bytes to send. A segment with a picture tag holds exactly that picture (or, when the tag
// names a fault, the part of it that is sent).
struct Segment {
    std::string bytes;
    std::optional<PictureTag> picture;
    bool endsCall = false;  // the call is over once this segment has left
};

// A segment that has left the queue: all of it written, or cut short by a discard.
struct Sent {
    Segment segment;
    std::size_t written = 0;
    bool complete() const { return written == segment.bytes.size(); }
};

class Line {
public:
    Line(int fd, bool paced);

    void queue(Segment segment, Time now);
    void queue(std::string bytes, Time now) { queue(Segment{std::move(bytes), {}, false}, now); }
    bool empty() const { return queue_.empty(); }
    std::size_t pendingBytes() const;

    // Writes what is due by `now`; returns the segments that left the queue.
    std::vector<Sent> flush(Time now);
    // Drops everything not yet written (the call dropped, nobody listens); returns those segments.
    std::vector<Sent> discard();

    // When the next byte is due, if something waits and the descriptor is not full.
    std::optional<Time> nextDue() const;
    // The last write found the descriptor full: wait until it can be written.
    bool blocked() const { return blocked_; }
    // The far end is gone (EPIPE and the like).
    bool broken() const { return broken_; }
    // Time the last byte left.
    std::optional<Time> lastWrite() const { return lastWrite_; }

private:
    std::size_t writeSome(const char* data, std::size_t n);

    int fd_;
    bool paced_;
    bool socket_ = false;
    std::deque<Segment> queue_;
    std::size_t headWritten_ = 0;
    Time epoch_{};
    std::uint64_t sinceEpoch_ = 0;
    bool blocked_ = false;
    bool broken_ = false;
    std::optional<Time> lastWrite_;
};

}  // namespace unitsim
