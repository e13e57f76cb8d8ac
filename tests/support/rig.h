#pragma once
// A working folder and the five windows on the fake platform, for component tests.
#include "fakes.h"

#include "app/program.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <source_location>

// Ends the calling test when ../shared is missing, saying what went untested: a failure in
// CI, where the data must be there, and a skip elsewhere.
#define REQUIRE_SHARED(untested)                                                             \
    do {                                                                                     \
        if (rig::sharedDir().isEmpty()) {                                                    \
            if (rig::sharedRequired()) QFAIL("../shared is not there (CI=true): " untested); \
            QSKIP("../shared is not there: " untested);                                      \
        }                                                                                    \
    } while (false)

namespace rig {

// The folder beside the project that holds outside test data, or an empty string.
QString sharedDir();
// Whether this is a CI run (CI=true), where ../shared must be there.
bool sharedRequired();
// Reads and writes whole files (relative names resolve in the current folder).
QByteArray readFile(const QString& name);
void writeFile(const QString& name, const QByteArray& content);

// A fresh temporary working folder, made current for the rig's lifetime.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// The settings files a configured unit would have: ten lines of u.txt, four of t1 and t2.
void writeDefaultSettings();

struct Rig : fake::World {
    WorkDir work;

    std::unique_ptr<Program> program;
    // Set by build(); the windows of the program.
    TForm1* form1 = nullptr;
    TForm2* form2 = nullptr;
    TForm4* form4 = nullptr;
    TAboutBox* about = nullptr;
    TForm3* form3 = nullptr;

    // Builds the windows in the program's order, in the working folder as it is now.
    void build();
    // The line the program will open next (and, once opened, the one it holds).
    fake::ScriptedLine& line() { return ports.current ? *ports.current : ports.line(); }
    ~Rig();
};

// Runs f from inside the exec() of the next modal dialog: `dialog` once it is the modal window
// on top, or whichever is on top when none is named. A dialog that has not shown within a
// minute ends the test program at once, naming it and the caller: an exec() that nobody
// answers would otherwise block until CTest's time-out.
void whenModal(std::function<void(QWidget*)> f, QWidget* dialog = nullptr,
               std::source_location caller = std::source_location::current());

}  // namespace rig

namespace rig {
// One recorded modem exchange: what the PC wrote ('>') and what came back ('<').
struct TranscriptEvent {
    bool fromPc;
    QByteArray bytes;
    bool cutAfter = false;  // picture data that followed these bytes is left out of the recording
};
// Reads a transcript file of ../shared/transcripts (escaped bytes, '#' comments; a comment
// "# ..." stands for data left out).
QList<TranscriptEvent> loadTranscript(const QString& path);
// Scripts the line from a transcript: each '<' waits for the '>' before it to be written.
void scriptTranscript(fake::ScriptedLine& line, const QList<TranscriptEvent>& events);
}  // namespace rig
