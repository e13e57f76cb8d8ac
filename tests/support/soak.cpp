#include "soak.h"
#include "acquisition/archive.h"

#include "acquisition/journal.h"
#include "platform/stringlist.h"
#include "ui_tform1.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace rig {

long residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

Soak::Soak(SoakOptions options) : opt_(std::move(options)), rng_(opt_.seed) {}

Soak::~Soak() {
    // The windows go before the line they hold.
    rig_.reset();
    sim_.reset();
}

QString Soak::start() {
    QStringList args = {"--fast",
                        "--dial-delay",
                        "0",
                        "--answer-delay",
                        "0",
                        "--ring-interval",
                        "250",
                        "--rings",
                        "20",
                        "--voice-rings",
                        "2",
                        "--resolution",
                        QString::number(opt_.resolution),
                        "--pictures",
                        QString::number(opt_.pictures),
                        "--idle-hangup",
                        QString::number(opt_.idleHangupMs),
                        "--seed",
                        QString::number(opt_.seed)};
    if (!opt_.ringFault.isEmpty()) args << "--ring-fault" << opt_.ringFault;
    if (opt_.faultRate > 0)
        args << "--fault-rate" << QString::number(opt_.faultRate) << "--random-faults" << opt_.faults;
    sim_ = std::make_unique<UnitSimProcess>(args);
    if (!sim_->ok()) return QStringLiteral("unitsim did not start: ") + QString::fromLocal8Bit(sim_->stderrText());
    rig_ = std::make_unique<RealRig>();
    rig_->build(sim_->link());
    TForm1& f = *rig_->form1;
    QObject::connect(f.ui->CheckBox1, &QCheckBox::toggled, [this](bool on) {
        if (on) ++receptions_;
    });
    f.ui->Button3->click();
    if (!f.Timer1.isActive()) return QStringLiteral("Инициализ. failed: ") + f.panel(1);
    return {};
}

void Soak::poll() {
    TForm1& f = *rig_->form1;
    f.handle([&] { f.Timer1Timer(); });
    QCoreApplication::processEvents();
}

void Soak::takeEvents() {
    for (const SimEvent& e : sim_->newEvents()) {
        if (e.name == "connect") {
            ++connects_;
            ++figures_.calls;
        } else if (e.name == "call-end") {
            ++callEnds_;
        } else if (e.name == "ring-begin") {
            ++rings_;
        } else if (e.name == "ring-end" || e.name == "answer") {
            ++ringEnds_;
        } else if (e.name == "pictures") {
            const QByteArray fault = e.fields.value("fault");
            if (fault != "none") ++figures_.lineFaults[fault];
            if (fault == "silence") ++figures_.callsWithoutPictures;
        } else if (e.name == "picture") {
            if (e.fields.value("status") == "complete") {
                ++figures_.picturesWhole;
                whole_[sha(e.fields.value("sha256"))] =
                    Sent{e.fields.value("call").toInt(), e.fields.value("index").toInt()};
            } else {
                ++figures_.picturesCut;
            }
        }
    }
}

Soak::Sha Soak::sha(const QByteArray& hex) {
    Sha out{};
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), qsizetype(out.size())), out.begin());
    return out;
}

QString Soak::savedFile(const Sent& s) const {
    return sim_->savedDir() + QStringLiteral("/call%1-%2.jpg").arg(s.call, 4, 10, QLatin1Char('0')).arg(s.index);
}

bool Soak::simIdle() const { return connects_ == callEnds_ && rings_ == ringEnds_; }

// Polls until unitsim has ended every call and ring, the program runs nothing, and the line
// has stayed quiet for a while.
bool Soak::waitQuiet(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    int quietPolls = 0;
    while (t.elapsed() < timeoutMs) {
        const int before = receptions_;
        poll();
        takeEvents();
        if (receptions_ != before || rig_->form1->busy || !simIdle()) quietPolls = 0;
        else if (++quietPolls >= 25) return true;
    }
    return false;
}

QString Soak::disturb() {
    TForm1& f = *rig_->form1;
    std::uniform_real_distribution<double> u(0, 1);
    const double d = u(rng_);
    const char* what = nullptr;
    if (d < opt_.restartRate) {
        what = "a restart";
        ++figures_.restarts;
        sim_->command("restart");
    } else if (d < opt_.restartRate + opt_.silentRate) {
        // The unit calls the forgetful modem: its bare rings bring no caller line and are not
        // answered, and the station learns from that that the modem must be prepared again.
        what = "a silent restart";
        ++figures_.silentRestarts;
        sim_->command("restart silent");
        sim_->command("call");
    } else if (d < opt_.restartRate + opt_.silentRate + opt_.replugRate) {
        what = "a replug";
        ++figures_.replugs;
        sim_->command("replug");
    } else if (d < opt_.restartRate + opt_.silentRate + opt_.replugRate + opt_.voiceRate) {
        // It rings --voice-rings times and the caller gives up; the answer phase ends when the
        // line has been quiet for its 10 s, with no "ATA" written and no error shown.
        ++figures_.voiceCalls;
        trace_.append(QStringLiteral("before %1: a voice call").arg(figures_.transfers + 1));
        const QString panel0 = f.panel(0);
        const int before = rings_;
        sim_->command("voice");
        const auto over = [&] {
            takeEvents();
            return rings_ > before && rings_ == ringEnds_ && rig_->wire.received.contains("+CRING: VOICE") && !f.busy;
        };
        if (!QTest::qWaitFor(over, 60000))
            return QStringLiteral("the voice call was not heard, or its answer phase did not end");
        if (rig_->wire.written.contains("ATA")) return QStringLiteral("a voice call was answered with ATA");
        if (f.panel(0) != panel0) return QStringLiteral("a voice call left \"%1\" in panel 0").arg(f.panel(0));
        return {};
    } else {
        return {};
    }
    const bool prepared = QTest::qWaitFor(
        [&] {
            takeEvents();
            return rig_->wire.written.contains("AT+CLIP=1\r") && f.hcom && !f.busy && !f.prepareDue && simIdle();
        },
        60000);
    trace_.append(QStringLiteral("before %1: %2").arg(figures_.transfers + 1).arg(QString::fromLatin1(what)));
    if (!prepared)
        return QStringLiteral("the modem was not prepared again after %1: panel 1 \"%2\"").arg(what, f.panel(1));
    return {};
}

QString Soak::transfer() {
    TForm1& f = *rig_->form1;
    // The soak reads nothing of the wire's recording; kept, it would grow with every transfer
    // and show in the memory figures as if the program grew.
    rig_->wire.written.clear();
    rig_->wire.received.clear();
    if (const QString problem = disturb(); !problem.isEmpty()) return problem;
    std::uniform_real_distribution<double> u(0, 1);
    const bool dialled = u(rng_) < 0.5;
    const bool byTimer = !dialled && u(rng_) < opt_.timerShare;

    // The operator's fault: at the k-th pass of a wait, early (dialling, the answer phase) or
    // later (most likely the data phase).
    Action action = Action::None;
    const double a = u(rng_);
    if (a < opt_.cancelRate) action = Action::Cancel;
    else if (a < opt_.cancelRate + opt_.buttonRate) action = u(rng_) < 0.5 ? Action::Snimok : Action::Init;
    else if (a < opt_.cancelRate + opt_.buttonRate + opt_.callRate) action = Action::Call;
    const int at = u(rng_) < 0.3 ? std::uniform_int_distribution<int>(1, 60)(rng_)
                                 : std::uniform_int_distribution<int>(60, 6000)(rng_);
    int pumps = 0;
    // A cancel neither hangs up nor resets the modem, so the call goes on without the
    // program: in the data phase what had arrived is filed and the rest is lost; in the
    // answer phase of an incoming call the cancel may cut the connect line in two, and the
    // whole call is lost. Only then are a call's pictures excused from being stored. A
    // cancel while dialling ends Снимок: the modem gives up that dial, and no call may follow.
    bool cancelLoses = false;
    bool cancelledDial = false;
    QString fired;  // where the operator's fault came
    const int connectsBefore = connects_;
    rig_->ui.onPump = [&, action] {
        if (action == Action::None || ++pumps != at) return;
        // The data phase shows its text; the answer phase runs in a reception started by the
        // poll, with the box checked; any other wait is Снимок dialling.
        const bool data = f.panel(2) == QStringLiteral("Прием фото");
        const bool answer = !data && f.ui->CheckBox1->isChecked();
        const QString phase = data     ? QStringLiteral("data")
                              : answer ? QStringLiteral("answer")
                                       : QStringLiteral("dialling");
        fired = QStringLiteral(" at pass %1 (%2, %3 bytes)").arg(at).arg(phase).arg(f.nfoto);
        switch (action) {
        case Action::Cancel:
            f.ui->BtOtmena->click();
            cancelLoses = data || answer;
            cancelledDial = !data && !answer;
            ++figures_.operatorFaults[QStringLiteral("Отмена/") + phase];
            break;
        case Action::Snimok:
            f.ui->Button4->click();
            ++figures_.operatorFaults[QStringLiteral("Снимок/") + phase];
            break;
        case Action::Init:
            f.ui->Button3->click();
            ++figures_.operatorFaults[QStringLiteral("Инициализ./") + phase];
            break;
        case Action::Call:
            // The modem is busy with this transfer: the unit's call rings once it is free,
            // and the poll must take it then.
            sim_->command("call");
            ++figures_.callsDuring[phase];
            break;
        case Action::None: break;
        }
    };

    QString problem;
    ++figures_.transfers;
    if (dialled) {
        ++figures_.dialled;
        ++snimoks_;
        f.ui->Button4->click();  // returns once the picture call is over
    } else {
        ++figures_.incoming;
        const int requested = rings_;
        sim_->command("call");
        if (byTimer) {
            // Timer1 alone must notice the call and take it.
            ++figures_.byTimer;
            const auto taken = [&] {
                takeEvents();
                return connects_ > connectsBefore || (rings_ > requested && rings_ == ringEnds_ && !f.busy);
            };
            if (!QTest::qWaitFor(taken, 30000)) problem = QStringLiteral("the poll did not take the call");
        }
    }
    if (!waitQuiet(opt_.transferTimeoutMs) && problem.isEmpty())
        problem = QStringLiteral("the transfer did not end: busy=%1, unitsim calls %2 ended %3, rings %4 ended %5")
                      .arg(f.busy)
                      .arg(connects_)
                      .arg(callEnds_)
                      .arg(rings_)
                      .arg(ringEnds_);
    rig_->ui.onPump = nullptr;
    if (cancelLoses)
        for (int call = connectsBefore + 1; call <= connects_; ++call) lenient_.insert(call);
    static const char* const actions[] = {"-", "Отмена", "Снимок", "Инициализ.", "a call"};
    trace_.append(QStringLiteral("%1: %2, %3%4; calls %5..%6; panels \"%7\" \"%8\"")
                      .arg(figures_.transfers)
                      .arg(dialled   ? "dialled"
                           : byTimer ? "incoming (Timer1)"
                                     : "incoming")
                      .arg(QString::fromUtf8(actions[int(action)]))
                      .arg(fired)
                      .arg(connectsBefore + 1)
                      .arg(connects_)
                      .arg(f.panel(0), f.panel(2)));
    if (trace_.size() > 30) trace_.removeFirst();
    if (connects_ == connectsBefore && problem.isEmpty() && !cancelledDial)
        problem = QStringLiteral("no call was made or taken");
    return problem;
}

SoakCheck Soak::check() {
    takeEvents();
    SoakCheck c;
    TForm1& f = *rig_->form1;
    const QList<QByteArray> files = plat::StringList::parse(readFile(QStringLiteral("files.txt")));
    const QList<QByteArray> events = plat::StringList::parse(readFile(QStringLiteral("events.txt")));
    if (files != f.ListBox1.lines()) c.problems << QStringLiteral("files.txt differs from the picture list");
    if (events != f.ListBox2.lines()) c.problems << QStringLiteral("events.txt differs from the event list");
    c.events = int(events.size());

    // The events name every listed picture once, in the order of the picture list.
    QList<QByteArray> named;
    for (const QByteArray& e : events) {
        QList<QByteArray> parts = e.split(',');
        if (parts.size() < 3 || !parts.last().isEmpty()) {
            c.problems << QStringLiteral("malformed event line ") + QString::fromLatin1(e);
            continue;
        }
        parts.removeLast();
        const int count = parts.takeFirst().toInt();
        if (count != parts.size())
            c.problems << QStringLiteral("event count differs from its names: ") + QString::fromLatin1(e);
        named += parts;
    }
    if (named != files) c.problems << QStringLiteral("the events do not name the listed pictures in order");

    // The folder foto holds exactly the listed pictures.
    QSet<QByteArray> listed;
    for (const QByteArray& n : files) {
        if (listed.contains(n.toLower())) c.problems << QStringLiteral("listed twice: ") + QString::fromLatin1(n);
        listed.insert(n.toLower());
    }
    const QStringList onDisk = QDir(QStringLiteral("foto")).entryList(QDir::Files);
    c.stored = int(onDisk.size());
    for (const QString& name : onDisk) {
        const QByteArray base = "foto\\" + QFile::encodeName(name).chopped(4);
        if (!name.endsWith(QLatin1String(".jpg")) || !listed.contains(base.toLower()))
            c.problems << QStringLiteral("not listed: foto/") + name;
    }
    if (onDisk.size() != files.size())
        c.problems << QStringLiteral("%1 files in foto, %2 listed").arg(onDisk.size()).arg(files.size());

    // Every stored picture was sent whole, byte for byte, and is stored once.
    std::map<Sha, int> storedHashes;
    for (const QByteArray& n : files) {
        const QByteArray bytes = readFile(nativePath(n + ".jpg"));
        const Sha h = sha(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        const auto sent = whole_.find(h);
        if (sent == whole_.end()) {
            c.problems << QStringLiteral("stored but never sent whole: ") + QString::fromLatin1(n);
            continue;
        }
        if (readFile(savedFile(sent->second)) != bytes)
            c.problems << QStringLiteral("differs from the copy sent: ") + QString::fromLatin1(n);
        if (++storedHashes[h] == 2) c.problems << QStringLiteral("stored twice: ") + QString::fromLatin1(n);
    }
    // Every picture sent whole is stored, unless the operator's cancel excused its call.
    c.sentWhole = int(whole_.size());
    for (const auto& [h, sent] : whole_) {
        if (lenient_.contains(sent.call)) {
            ++c.excused;
            c.excusedStored += storedHashes.contains(h);
            continue;
        }
        ++c.required;
        if (!storedHashes.contains(h)) c.problems << QStringLiteral("sent whole, not stored: ") + savedFile(sent);
    }
    checkJournal(c, files);
    for (const auto& m : rig_->ui.messages) c.problems << QStringLiteral("message box: ") + m.caption + " / " + m.text;
    for (const auto& e : rig_->ui.errors) c.problems << QStringLiteral("toolkit error: ") + e;
    return c;
}

void Soak::checkJournal(SoakCheck& c, const QList<QByteArray>& files) {
    const QList<QByteArray> lines = plat::StringList::parse(readFile(journal::file));
    QMap<QByteArray, int> named;
    int snimoks = 0, voice = 0, received = 0, taken = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const auto call = journal::parseLine(lines[i]);
        if (!call) {
            c.problems << QStringLiteral("journal line %1 is no call: %2").arg(i).arg(QString::fromLatin1(lines[i]));
            continue;
        }
        ++c.journalled;
        for (const QByteArray& n : call->pictures) ++named[n];
        const bool dialled = call->direction == journal::Direction::Outgoing;
        const bool dataPhase = call->outcome.startsWith(QStringLiteral("foto OK")) ||
                               call->outcome.startsWith(QStringLiteral("Ошибка связи"));
        snimoks += dialled;
        received += dataPhase;
        // A call the modem may have connected: one answered, or a dial that was not refused.
        taken +=
            dialled ? call->outcome != QStringLiteral("Не связи с объектом") : call->what == QStringLiteral("снимок");
        if (call->outcome == journal::notAnswered) ++c.unanswered;
        if (call->what == QStringLiteral("голосовой")) {
            ++voice;
            if (call->outcome != journal::notAnswered)
                c.problems << QStringLiteral("a voice call was answered: ") + call->outcome;
        }
    }
    for (const QByteArray& n : files)
        if (named.value(n) != 1)
            c.problems
                << QStringLiteral("named in %1 journal lines: %2").arg(named.value(n)).arg(QString::fromLatin1(n));
    if (snimoks != snimoks_)
        c.problems << QStringLiteral("%1 Снимок in the journal, %2 pressed").arg(snimoks).arg(snimoks_);
    if (voice != figures_.voiceCalls)
        c.problems << QStringLiteral("%1 voice calls in the journal, %2 made").arg(voice).arg(figures_.voiceCalls);
    // Every call unitsim connected has its line; no line claims a data phase without one.
    if (taken < connects_)
        c.problems << QStringLiteral("%1 calls connected, %2 in the journal").arg(connects_).arg(taken);
    if (received > connects_)
        c.problems << QStringLiteral("%1 data phases in the journal, %2 calls connected").arg(received).arg(connects_);
}

QString Soak::answersNextCalls() {
    TForm1& f = *rig_->form1;
    for (const bool dialled : {false, true}) {
        takeEvents();
        const int before = int(f.ListBox1.count());
        const int connectsBefore = connects_;
        sim_->command("fault none");
        if (dialled) {
            ++snimoks_;
            f.ui->Button4->click();
        } else {
            sim_->command("call");
            // Timer1 takes it.
            if (!QTest::qWaitFor(
                    [&] {
                        takeEvents();
                        return connects_ > connectsBefore && simIdle() && !f.busy;
                    },
                    30000))
                return QStringLiteral("the incoming call after the soak was not taken");
        }
        if (!waitQuiet(30000)) return QStringLiteral("the last call did not end");
        if (f.ListBox1.count() != before + opt_.pictures)
            return QStringLiteral("the %1 call after the soak stored %2 pictures, not %3")
                .arg(dialled ? "dialled" : "incoming")
                .arg(f.ListBox1.count() - before)
                .arg(opt_.pictures);
    }
    return {};
}

}  // namespace rig
