#include "rig.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <memory>

namespace rig {

QString sharedDir() {
    const QString d = QStringLiteral(RAVLO_SOURCE_DIR "/../shared");
    return QDir(d).exists() ? QDir(d).canonicalPath() : QString();
}

bool sharedRequired() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

QByteArray readFile(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeFile(const QString& name, const QByteArray& content) {
    QFile f(name);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
}

WorkDir::WorkDir() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
WorkDir::~WorkDir() { QDir::setCurrent(previous_); }

void writeDefaultSettings() {
    writeFile("u.txt", "+79001112233\r\ninternet\r\nuser\r\npass\r\ncam@example.ru\r\n\r\n\r\n2\r\n2\r\n2\r\n");
    writeFile("t1.txt", "+79001110000\r\n+79001110001\r\n\r\n\r\n");
    writeFile("t2.txt", "0\r\n3\r\n3\r\n3\r\n");
}

void Rig::build() {
    program = std::make_unique<Program>(sys);
    form1 = &program->form1;
    form2 = &program->form2;
    form4 = &program->form4;
    about = &program->about;
    form3 = &program->form3;
}

Rig::~Rig() = default;

namespace {

struct ModalWait {
    std::function<void(QWidget*)> f;
    QWidget* dialog;
    std::source_location caller;
    QDeadlineTimer deadline;
};

void pollModal(std::shared_ptr<ModalWait> w);

// Polled from timers, so that the check runs inside the dialog's own event loop.
void pollLater(std::shared_ptr<ModalWait> w) {
    QTimer::singleShot(5, [w = std::move(w)]() mutable { pollModal(std::move(w)); });
}

void pollModal(std::shared_ptr<ModalWait> w) {
    QWidget* top = QApplication::activeModalWidget();
    if (top && (!w->dialog || top == w->dialog)) {
        w->f(top);
        return;
    }
    if (w->deadline.hasExpired()) {
        qFatal("%s:%u: no modal %s showed within a minute (the modal window on top: %s)", w->caller.file_name(),
               unsigned(w->caller.line()), w->dialog ? w->dialog->metaObject()->className() : "window",
               top ? top->metaObject()->className() : "none");
    }
    pollLater(std::move(w));
}

}  // namespace

void whenModal(std::function<void(QWidget*)> f, QWidget* dialog, std::source_location caller) {
    pollLater(std::make_shared<ModalWait>(ModalWait{std::move(f), dialog, caller, QDeadlineTimer(60000)}));
}

}  // namespace rig

namespace rig {

static QByteArray unescape(const QByteArray& s) {
    QByteArray out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x':
            out += char(QByteArray::fromHex(s.mid(i + 1, 2))[0]);
            i += 2;
            break;
        default: out += c; break;
        }
    }
    return out;
}

QList<TranscriptEvent> loadTranscript(const QString& path) {
    QList<TranscriptEvent> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (QByteArray line : f.readAll().split('\n')) {
        if (line.startsWith("# ...") && !out.isEmpty()) out.last().cutAfter = true;
        if (line.startsWith("> ")) out.append({true, unescape(line.mid(2))});
        else if (line.startsWith("< ")) out.append({false, unescape(line.mid(2))});
    }
    return out;
}

void scriptTranscript(fake::ScriptedLine& line, const QList<TranscriptEvent>& events) {
    for (const auto& e : events) {
        if (e.fromPc) line.afterWrite(e.bytes);
        else line.feed(e.bytes);
    }
}

}  // namespace rig
