// Filing: the pictures of a transfer become files in foto, entries of the picture list and
// one line of the event list.
#include "acquisition/archive.h"
#include "acquisition/jpegcut.h"
#include "app/tform1.h"

#include <QDir>
#include <QFileInfo>

int TForm1::convjpg() {
    // Files temp.dat again. It is read into a buffer of its own, so that a reception running
    // at the same time keeps fotobuf; a file longer than fotobuf is read up to its size.
    QFile f(QStringLiteral("temp.dat"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = f.read(kFotobufSize);
    f.close();
    return filebuf(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size()));
}

int TForm1::filebuf(const unsigned char* data, std::size_t length) {
    QList<QByteArray> names;
    for (const JpegSlice& s : cutJpegs(data, length)) {
        fotoname = pictureName(sys.clock.now(), nfiles);
        fotofile = fotoname + ".jpg";
        if (!savefoto(data + s.start, s.size())) {
            // This picture takes no number; the bytes are still in temp.dat.
            sys.ui.message(QString(), QStringLiteral("Can't create file"));
            break;
        }
        ListBox1.append(fotoname);
        ++nfiles;
        names.append(fotoname);
    }
    if (names.isEmpty()) return 0;
    ListBox2.append(eventLine(names));
    // Written at once, so that a crash or a power cut loses no entry.
    savelists();
    return int(names.size());
}

bool TForm1::savefoto(const unsigned char* data, std::size_t length) {
    const QString path = plat::nativePath(fotofile);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const auto n = qint64(length);
    const bool ok = f.write(reinterpret_cast<const char*>(data), n) == n && f.flush();
    f.close();
    if (ok && f.error() == QFileDevice::NoError) return true;
    f.remove();  // a full disk: no half picture stays behind
    return false;
}

void TForm1::savelists() {
    // A failure is shown and filing goes on: the lists stay in memory and are written again
    // at the next filing and at close.
    try {
        saveLists();
    } catch (const plat::ToolkitError& e) {
        sys.ui.error(e.text());
    }
}
