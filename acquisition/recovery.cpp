// A data phase cut off by a power cut or a crash: its pictures are in temp.dat but never
// reached the archive. A mark on disk says that a phase is under way, and the next start files
// it, exactly once whatever the moment it was cut off.
//
// The mark (temp.pending) holds the sizes the picture list and the event list had before the
// phase's own event: "K E". The lists are saved picture list first, and nothing but the
// phase's own event can follow K in the picture list while the mark stands (an event of
// pictures held from an earlier phase moves the mark past itself before its lists are saved).
// So at the next start a saved picture list longer than K holds the phase's pictures, and one
// of K entries or fewer does not.
#include "acquisition/archive.h"
#include "app/tform1.h"
#include "platform/durable.h"
#include "platform/stringlist.h"
#include "platform/trace.h"

#include <QFile>

#include <optional>
#include <utility>

namespace {

std::optional<std::pair<int, int>> readMark() {
    QFile f(archive::phaseMark);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QList<QByteArray> fields = f.readAll().trimmed().split(' ');
    bool okK = false, okE = false;
    const int k = fields.value(0).toInt(&okK);
    const int e = fields.value(1).toInt(&okE);
    if (fields.size() != 2 || !okK || !okE || k < 0 || e < 0) return std::nullopt;
    return std::pair{k, e};
}

} // namespace

void TForm1::markPhase() {
    // Lists that could not be read at start are never saved: their sizes say nothing about the
    // files, and a start after a crash could not tell a filed phase from one that was not.
    phaseMarked = !picturesUnread && !eventsUnread &&
                  plat::writeFileAtomic(archive::phaseMark, QByteArray::number(ListBox1.count()) + ' ' +
                                                   QByteArray::number(ListBox2.count()) + "\r\n");
    // A mark that could not be replaced must not stay with sizes from before.
    if (!phaseMarked) unmarkPhase();
}

void TForm1::unmarkPhase() {
    phaseMarked = false;
    if (QFile::remove(archive::phaseMark)) {
        plat::syncFolder(QString());
        qCDebug(lcArchive, "removed %s", qUtf8Printable(archive::phaseMark));
    }
}

void TForm1::recoverPhase() {
    const auto mark = readMark();
    if (!mark) {
        // A mark that cannot be read names no phase.
        if (QFile::exists(archive::phaseMark)) unmarkPhase();
        return;
    }
    // Lists that could not be read are left as they are, and the mark with them, for a start
    // that can read them.
    if (picturesUnread || eventsUnread) return;
    const auto [k, e] = *mark;
    if (ListBox1.count() <= k) {
        // Not filed: temp.dat holds what arrived of the phase.
        phaseMarked = true;
        // Without temp.dat there is nothing left to file, and the phase is done.
        if (convjpg() == 0 && unfiled.isEmpty() && phaseMarked) unmarkPhase();
        return;
    }
    // Filed. A power cut between saving the picture list and the event list can have kept its
    // event line out: it is made from the pictures after K.
    if (ListBox2.count() == e) {
        ListBox2.append(eventLine(ListBox1.lines().mid(k)));
        if (!trySaveLists()) return;
    }
    unmarkPhase();
}
