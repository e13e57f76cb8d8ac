#include "eventlog.h"

#include <QCryptographicHash>

#include <cstdio>
#include <fstream>

namespace unitsim {

namespace {

std::string quoted(const std::string& v) {
    if (!v.empty() && v.find_first_of(" \"\\\t\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (unsigned char c : v) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    const QByteArray h =
        QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256);
    return h.toHex().toStdString();
}

EventLog::EventLog(const std::string& path, std::string saveDir)
    : file_(path.empty() ? stderr : std::fopen(path.c_str(), "a")), saveDir_(std::move(saveDir)),
      start_(SteadyClock::now()) {}

std::string EventLog::stamp(Time t) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(t - start_).count());
    return text;
}

void EventLog::write(std::string_view event, const Fields& fields) {
    if (!file_) return;
    std::string line = "unitsim t=" + stamp(SteadyClock::now()) + " event=";
    line += event;
    for (const auto& [k, v] : fields) {
        line += ' ';
        line += k;
        line += '=';
        line += quoted(v);
    }
    line += '\n';
    std::fputs(line.c_str(), file_.get());
    std::fflush(file_.get());
}

void EventLog::pictureSent(const Sent& sent) {
    const PictureTag& p = *sent.segment.picture;
    const bool whole = p.fault.empty() && sent.complete();
    Fields f{{"call", std::to_string(p.call)},           {"index", std::to_string(p.index)},
             {"status", whole ? "complete" : "partial"}, {"sent", std::to_string(sent.written)},
             {"bytes", std::to_string(p.size)},          {"sha256", p.sha256}};
    if (!whole) f.emplace_back("why", p.fault.empty() ? "cut off" : p.fault);
    if (whole && !saveDir_.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "/call%04d-%d.jpg", p.call, p.index);
        const std::string path = saveDir_ + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(sent.segment.bytes.data(), std::streamsize(sent.segment.bytes.size()));
        f.emplace_back("file", out ? path : "(not saved)");
    }
    write("picture", f);
}

}  // namespace unitsim
