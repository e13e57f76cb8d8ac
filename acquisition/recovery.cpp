// A data phase cut off by a power cut or a crash: its pictures are in temp.dat but never
// reached the archive. A mark on disk says that a phase is under way, and the next start files
// it, exactly once whatever the moment it was cut off.
//
// The mark (temp.pending) holds the sizes the picture list and the event list had before the
// phase's own event: "K E". The lists are saved picture list first, and nothing but the
// phase's own event can follow K in the picture list while the mark stands (an event of
// pictures held from an earlier phase moves the mark past itself before its lists are saved).
// So at the next start a saved picture list longer than K holds the phase's pictures (only
// the first ones, when a crash cut their append short), and one of K entries or fewer does not.
// The pictures the list lacks may be in foto already, written before the crash under the
// numbers that follow the list's last: those files are taken as they stand.
#include "acquisition/archive.h"
#include "acquisition/journal.h"
#include "app/tform1.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QDirIterator>
#include <QFile>

#include <algorithm>
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

// The files in foto that a filing cut off by a crash wrote before the picture list named
// them: for each of `pictures`, the base name of the file that holds it, or an empty one. The
// j-th picture took the number first + j; a file of that number that holds other bytes is not
// the picture's and is left alone. One pass over foto, which may hold years of pictures.
QList<QByteArray> writtenBefore(const QList<QByteArray>& pictures, int first) {
    QList<QByteArray> names(pictures.size());
    if (pictures.isEmpty()) return names;
    QDirIterator files(QString::fromLatin1(archive::pictureFolder), {QStringLiteral("*.jpg")}, QDir::Files);
    while (files.hasNext()) {
        files.next();
        const QByteArray name = archive::pictureFolder + ('\\' + files.fileName().chopped(4).toLatin1());
        const qsizetype j = qsizetype(journal::pictureNumber(name)) - first;
        if (j < 0 || j >= pictures.size() || !names[j].isEmpty()) continue;
        // Only a name that filing gives.
        const auto time = pictureTime(name);
        if (!time || pictureName(*time, int(first + j)) != name) continue;
        QFile f(files.filePath());
        if (f.size() != pictures[j].size() || !f.open(QIODevice::ReadOnly) || f.readAll() != pictures[j]) continue;
        names[j] = name;
        qCInfo(lcArchive, "%s is in foto already: taken as it stands", name.constData());
    }
    return names;
}

}  // namespace

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
    // How many of the phase's pictures the picture list holds: none when its filing did not
    // reach the list, all when it did, the first ones when a crash cut the list's append
    // short. The rest are filed from temp.dat now, in the event of the ones listed unless
    // the event list has that event already.
    const int listed = std::max(ListBox1.count() - k, 0);
    const bool evented = listed > 0 && ListBox2.count() > e;
    const auto read = readphase();
    const QList<QByteArray> pictures =
        read ? cutpictures(reinterpret_cast<const unsigned char*>(read->constData()), std::size_t(read->size()))
             : QList<QByteArray>{};
    qCInfo(lcArchive, "a data phase cut off: %d of its pictures listed, %lld more in %s", listed,
           qint64(std::max<qsizetype>(pictures.size() - listed, 0)), qUtf8Printable(archive::phaseFile));
    // The phase is done once its event is saved and no picture of it waits.
    phaseMarked = true;
    const QList<QByteArray> rest = pictures.mid(listed);
    fileevent(rest, true, std::nullopt, evented ? QList<QByteArray>{} : ListBox1.mid(k), writtenBefore(rest, nfiles));
}
