#include "unitsim_process.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>

namespace rig {

QString unitsimPath() {
#ifdef UNITSIM_PATH
    return QStringLiteral(UNITSIM_PATH);
#else
    return {};
#endif
}

UnitSimProcess::UnitSimProcess(const QStringList& options, const QString& linkPath)
    : link_(linkPath.isEmpty() ? dir_.filePath("modem") : linkPath) {
    if (unitsimPath().isEmpty()) return;
    QStringList args = options;
    args << "--link" << link() << "--control" << dir_.filePath("ctl") << "--log" << dir_.filePath("log") << "--report"
         << reportPath() << "--save-dir" << savedDir();
    QDir().mkpath(savedDir());
    proc_.start(unitsimPath(), args);
    if (!proc_.waitForStarted(5000)) return;
    // The slave path comes out once the modem answers and the link is made. A link left
    // behind by an earlier unitsim may still stand until then, so its mere presence says
    // nothing.
    if (!QTest::qWaitFor([&] { return proc_.canReadLine() || proc_.state() != QProcess::Running; }, 5000)) return;
    slave_ = QString::fromLocal8Bit(proc_.readLine()).trimmed();
    ok_ = proc_.state() == QProcess::Running && !slave_.isEmpty() &&
          QFileInfo(link()).canonicalFilePath() == QFileInfo(slave_).canonicalFilePath();
}

UnitSimProcess::~UnitSimProcess() {
    if (proc_.state() == QProcess::Running) {
        proc_.terminate();
        if (!proc_.waitForFinished(3000)) proc_.kill();
        proc_.waitForFinished(1000);
    }
}

void UnitSimProcess::kill() {
    if (proc_.state() != QProcess::Running) return;
    proc_.kill();
    proc_.waitForFinished(3000);
    // An unplugged modem's device goes with it. The link a killed unitsim leaves behind would
    // point at its pseudo-terminal's number, which the system soon gives to another one (a
    // test running beside this one), and the station would open that.
    if (QFileInfo(link_).isSymLink()) QFile::remove(link_);
}

void UnitSimProcess::command(const QByteArray& line) {
    proc_.write(line + "\n");
    proc_.waitForBytesWritten(1000);
}

SimEvent parseSimEvent(const QByteArray& line) {
    SimEvent e;
    // key=value fields after "unitsim "; a value in double quotes escapes '"' and '\\' with a
    // backslash and control bytes as \xNN
    qsizetype i = 8;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const qsizetype eq = line.indexOf('=', i);
        if (eq < 0) break;
        const QByteArray key = line.mid(i, eq - i);
        qsizetype j = eq + 1;
        QByteArray value;
        if (j < line.size() && line[j] == '"') {
            for (++j; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size()) {
                    if (line[++j] == 'x' && j + 2 < line.size()) {
                        value += QByteArray::fromHex(line.mid(j + 1, 2));
                        j += 2;
                        continue;
                    }
                }
                value += line[j];
            }
            ++j;  // the closing quote
        } else {
            const qsizetype sp = line.indexOf(' ', j);
            value = line.mid(j, (sp < 0 ? line.size() : sp) - j);
            j = sp < 0 ? line.size() : sp;
        }
        if (key == "event") e.name = value;
        else e.fields.insert(key, value);
        i = j;
    }
    return e;
}

QList<SimEvent> readSimLog(const QString& path, const QByteArray& name) {
    QList<SimEvent> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (!line.startsWith("unitsim ")) continue;
        SimEvent e = parseSimEvent(line);
        if (name.isEmpty() || e.name == name) out.append(std::move(e));
    }
    return out;
}

int countSimEvents(const QList<SimEvent>& events, const QByteArray& name, const QByteArray& key,
                   const QByteArray& value) {
    return int(std::count_if(events.begin(), events.end(), [&](const SimEvent& e) {
        return e.name == name && (key.isEmpty() || e.fields.value(key) == value);
    }));
}

QHash<QByteArray, QByteArray> readSimReport(const QString& path) {
    QHash<QByteArray, QByteArray> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) out.insert(line.left(eq), line.mid(eq + 1));
    }
    return out;
}

QList<SimEvent> UnitSimProcess::events() const { return readSimLog(logPath()); }

QList<SimEvent> UnitSimProcess::newEvents() {
    QList<SimEvent> out;
    QFile f(dir_.filePath("log"));
    if (!f.open(QIODevice::ReadOnly) || !f.seek(logRead_)) return out;
    const QByteArray chunk = f.readAll();
    // Only whole lines: the one being written is taken next time.
    const qsizetype end = chunk.lastIndexOf('\n') + 1;
    logRead_ += end;
    for (const QByteArray& line : chunk.left(end).split('\n'))
        if (line.startsWith("unitsim ")) out.append(parseSimEvent(line));
    return out;
}

QList<QByteArray> UnitSimProcess::completePictures() const {
    QList<QByteArray> out;
    for (const SimEvent& e : events()) {
        if (e.name != "picture" || e.fields.value("status") != "complete") continue;
        QFile f(QString::fromLocal8Bit(e.fields.value("file")));
        QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() != e.fields.value("sha256"))
            bytes.clear();
        out.append(bytes);
    }
    return out;
}

QHash<QByteArray, QByteArray> UnitSimProcess::report() const { return readSimReport(reportPath()); }

namespace {
// One line of the real serial layer, recording what passes.
class TappedLine final : public plat::SerialLine {
public:
    TappedLine(std::unique_ptr<plat::SerialLine> inner, TappedPortSystem& tap) : inner_(std::move(inner)), tap_(tap) {}
    bool open(const QString& name) override { return inner_->open(name); }
    bool configure() override { return inner_->configure(); }
    void purge() override { inner_->purge(); }
    bool write(const char* data, qint64 length) override {
        tap_.written.append(data, length);
        return inner_->write(data, length);
    }
    plat::ReadResult read(unsigned char& byte) override {
        const plat::ReadResult r = inner_->read(byte);
        if (r == plat::ReadResult::Byte) tap_.received.append(char(byte));
        return r;
    }
    bool vanished() const override { return inner_->vanished(); }
    void close() override { inner_->close(); }

private:
    std::unique_ptr<plat::SerialLine> inner_;
    TappedPortSystem& tap_;
};
}  // namespace

std::unique_ptr<plat::SerialLine> TappedPortSystem::create() {
    return std::make_unique<TappedLine>(inner_.create(), *this);
}

void RealRig::build(const QString& port) {
    if (!QFileInfo::exists("u.txt")) writeDefaultSettings();
    store.value = port;
    program = std::make_unique<Program>(sys);
    form1 = &program->form1;
}

}  // namespace rig
