// Filing: the pictures of a transfer become files in foto, entries of the picture list and
// one line of the event list.
#include "acquisition/archive.h"
#include "acquisition/jpegcut.h"
#include "app/tform1.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

std::optional<QByteArray> TForm1::readphase() const {
    // Read into a buffer of its own, so that a reception running at the same time keeps
    // fotobuf; a file longer than fotobuf is read up to its size.
    QFile f(archive::phaseFile);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.read(kFotobufSize);
}

QList<QByteArray> TForm1::cutpictures(const unsigned char* data, std::size_t length) const {
    QList<QByteArray> pictures;
    for (const JpegSlice& s : cutJpegs(data, length)) {
        qCDebug(lcArchive, "picture cut: %zu bytes at offset %zu..%zu of %zu", s.size(), s.start, s.end, length);
        pictures.append(QByteArray(reinterpret_cast<const char*>(data + s.start), qsizetype(s.size())));
    }
    return pictures;
}

int TForm1::convjpg() {
    // Files temp.dat again.
    const auto read = readphase();
    if (!read) return 0;
    const QByteArray& bytes = *read;
    qCInfo(lcArchive, "filing %s again: %lld bytes", qUtf8Printable(archive::phaseFile), qint64(bytes.size()));
    // temp.dat holds the last transfer, whose unstored pictures are the ones kept: filing it
    // again takes their place instead of storing them twice.
    unfiled.clear();
    return filebuf(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size()), std::nullopt);
}

int TForm1::filebuf(const unsigned char* data, std::size_t length, const std::optional<journal::Call>& from) {
    const QList<QByteArray> pictures = cutpictures(data, length);
    // Pictures earlier filings could not store go first, each call's as an event of its own.
    QList<Held> earlier = std::exchange(unfiled, {});
    while (!earlier.isEmpty() && unfiled.isEmpty()) {
        QList<QByteArray> same;
        const std::optional<journal::Call> origin = earlier.first().from;
        while (!earlier.isEmpty() && earlier.first().from == origin) same.append(earlier.takeFirst().picture);
        fileevent(same, false, origin);
    }
    if (!unfiled.isEmpty()) {
        // Still no room: keep the rest, and this transfer's pictures too, without a second message.
        for (const Held& h : earlier) keepUnfiled(h);
        for (const QByteArray& p : pictures) keepUnfiled({p, from});
        return 0;
    }
    return fileevent(pictures, true, from);
}

void TForm1::keepUnfiled(const Held& held) {
    qsizetype kept = 0;
    for (const Held& h : unfiled) kept += h.picture.size();
    if (kept + held.picture.size() <= kUnfiledLimit) unfiled.append(held);
}

void TForm1::record(const journal::Call& call) {
    // The line keeps the name the book gives the number now: a spreadsheet of the journal
    // tells the units apart, and a unit taken out of the book later is still named.
    journal::Call line = call;
    line.unit = watch->unitName(line.number);
    calls.append(line);
    if (!line.pictures.isEmpty()) showLastHeard();
    callers.update(ListBox2, calls);
    emit callEnded(line);
}

int TForm1::fileevent(const QList<QByteArray>& pictures, bool own, const std::optional<journal::Call>& from,
                      QList<QByteArray> names, const QList<QByteArray>& written) {
    const qsizetype listed = names.size();
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        // A file that a filing cut off by a crash wrote is taken as it stands.
        const bool there = !written.value(i).isEmpty();
        fotoname = there ? written[i] : pictureName(sys.clock.now(), nfiles);
        fotofile = fotoname + ".jpg";
        const auto* bytes = reinterpret_cast<const unsigned char*>(pictures[i].constData());
        if (!there && !savefoto(bytes, std::size_t(pictures[i].size()))) {
            // This picture takes no number; it and the ones after it wait for the next filing.
            sys.ui.message(QString(), QStringLiteral("Can't create file"));
            for (qsizetype j = i; j < pictures.size(); ++j) keepUnfiled({pictures[j], from});
            break;
        }
        ListBox1.append(fotoname);
        ++nfiles;
        names.append(fotoname);
    }
    bool saved = true;
    if (!names.isEmpty()) {
        ListBox2.append(eventLine(names));
        // The phase's own event comes after this one: the mark moves past it before the lists
        // that hold it are saved, so that the mark never counts this event as the phase's.
        if (!own && phaseMarked) markPhase();
        // Written at once, so that a crash or a power cut loses no entry.
        saved = trySaveLists();
        // Held pictures are credited to the call that brought them, in a line of their own
        // once they are in the lists; the line that call wrote when it ended names none.
        if (!own && from) record(journal::storedLater(*from, names));
        callers.update(ListBox2, calls);
        emit filed();
    }
    // The phase is filed once its pictures are in the saved lists (or it brought none). One
    // whose pictures wait in `unfiled` stays marked, for a start after a crash to file them
    // from temp.dat.
    if (own && phaseMarked && saved && unfiled.isEmpty()) unmarkPhase();
    return int(names.size() - listed);
}

bool TForm1::savefoto(const unsigned char* data, std::size_t length) {
    const QString path = nativePath(fotofile);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCInfo(lcArchive, "%s not created: %s", qUtf8Printable(path), qUtf8Printable(f.errorString()));
        return false;
    }
    const auto n = qint64(length);
    // On the disk, with its entry in foto, before the lists that name it are replaced.
    const bool ok = f.write(reinterpret_cast<const char*>(data), n) == n && plat::syncFile(f);
    f.close();
    if (ok && f.error() == QFileDevice::NoError) {
        plat::syncFolder(QFileInfo(path).path());
        qCDebug(lcArchive, "wrote %s: %zu bytes", qUtf8Printable(path), length);
        return true;
    }
    qCInfo(lcArchive, "%s not written, removed: %s", qUtf8Printable(path), qUtf8Printable(f.errorString()));
    f.remove();  // a full disk: no half picture stays behind
    return false;
}

bool TForm1::trySaveLists() {
    // A failure is shown and filing goes on: the lists stay in memory and are written again
    // at the next filing and at close.
    try {
        saveLists();
        return true;
    } catch (const plat::ToolkitError& e) {
        sys.ui.error(e.text());
        return false;
    }
}
