#pragma once
// The event log: one line an event, "key=value" pairs separated by blanks, values with blanks
// or quotes in double quotes. Tests and the soak run read it to learn exactly which pictures
// left the line whole.
#include "line.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace unitsim {

class EventLog {
public:
    // `path` empty: standard error. `saveDir` empty: pictures are not saved.
    EventLog(const std::string& path, std::string saveDir);

    bool ok() const { return file_ != nullptr; }

    using Fields = std::vector<std::pair<std::string_view, std::string>>;
    void write(std::string_view event, const Fields& fields);
    void note(std::string_view text) { write("note", {{"text", std::string(text)}}); }
    // The moment `t` as the log's "t=" writes it: seconds since the start.
    std::string stamp(Time t) const;

    // A segment with a picture has left the line (or was cut off): logs it, saves it when whole.
    void pictureSent(const Sent& sent);

private:
    struct Closer {
        void operator()(std::FILE* f) const {
            if (f && f != stderr) std::fclose(f);
        }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string saveDir_;
    Time start_;
};

std::string sha256Hex(std::string_view bytes);

}  // namespace unitsim
