#include "fakes.h"
#include <QCoreApplication>

namespace fake {

ScriptedLine& ScriptedLine::feed(const QByteArray& bytes) {
    if (!bytes.isEmpty()) steps_.push_back({Kind::Bytes, bytes});
    return *this;
}
ScriptedLine& ScriptedLine::silence(int ms) {
    steps_.push_back({Kind::Silence, {}, 0, ms});
    return *this;
}
ScriptedLine& ScriptedLine::afterWrite(const QByteArray& prefix) {
    steps_.push_back({Kind::AfterWrite, prefix});
    return *this;
}
ScriptedLine& ScriptedLine::then(std::function<void()> f) {
    steps_.push_back({Kind::Call, {}, 0, 0, std::move(f)});
    return *this;
}
ScriptedLine& ScriptedLine::failReads(int n) {
    steps_.push_back({Kind::Fail, {}, 0, n});
    return *this;
}
ScriptedLine& ScriptedLine::vanish() {
    steps_.push_back({Kind::Vanish});
    return *this;
}

bool ScriptedLine::open(const QString& name) {
    openedName = name;
    opened = openOk;
    return openOk;
}

bool ScriptedLine::configure() {
    configured = configureOk;
    return configureOk;
}

void ScriptedLine::purge() {
    ++purges;
    pending_.clear();
}

bool ScriptedLine::write(const char* data, qint64 length) {
    if (gone_) return false;
    const QByteArray bytes(data, length);
    written += bytes;
    writes.append(bytes);
    return true;
}

plat::ReadResult ScriptedLine::read(unsigned char& byte) {
    ++reads;
    for (;;) {
        if (gone_) {
            clock_.advance(10);
            return plat::ReadResult::Failed;
        }
        if (!pending_.isEmpty()) {
            byte = static_cast<unsigned char>(pending_[0]);
            pending_.remove(0, 1);
            clock_.advance(1);
            return plat::ReadResult::Byte;
        }
        if (steps_.empty()) {
            clock_.advance(10);
            return plat::ReadResult::None;
        }
        Step& s = steps_.front();
        switch (s.kind) {
        case Kind::Bytes:
            byte = static_cast<unsigned char>(s.data[s.pos++]);
            if (s.pos >= s.data.size()) steps_.pop_front();
            clock_.advance(1);
            return plat::ReadResult::Byte;
        case Kind::Silence:
            clock_.advance(10);
            s.n -= 10;
            if (s.n <= 0) steps_.pop_front();
            return plat::ReadResult::None;
        case Kind::AfterWrite: {
            for (int i = writeCursor_; i < writes.size(); ++i) {
                if (writes[i].startsWith(s.data)) {
                    writeCursor_ = i + 1;
                    steps_.pop_front();
                    goto next;
                }
            }
            clock_.advance(10);
            return plat::ReadResult::None;
        }
        case Kind::Call: {
            auto f = std::move(s.f);
            steps_.pop_front();
            f();
            break;
        }
        case Kind::Fail:
            clock_.advance(10);
            if (--s.n <= 0) steps_.pop_front();
            return plat::ReadResult::Failed;
        case Kind::Vanish:
            steps_.pop_front();
            gone_ = true;
            break;
        }
    next:;
    }
}

void Ui::pump() {
    ++pumps;
    if (events) QCoreApplication::processEvents();
    if (onPump) onPump();
}

ScriptedLine& PortSystem::line() {
    if (!next_) next_ = std::make_unique<ScriptedLine>(clock_);
    return *next_;
}

std::unique_ptr<plat::SerialLine> PortSystem::create() {
    ++creates;
    line();
    current = next_.get();
    return std::move(next_);
}

}  // namespace fake
