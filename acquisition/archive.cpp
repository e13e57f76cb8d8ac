#include "acquisition/archive.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QByteArray pictureName(const QDateTime& when, int n) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("%s\\%02d%02d%02d_%02d%02d%02df%d", archive::pictureFolder, t.hour(), t.minute(),
                             t.second(), d.day(), d.month(), d.year() % 100, n)
        .toLatin1();
}

QByteArray eventLine(const QList<QByteArray>& names) {
    QByteArray line = QByteArray::number(names.size());
    for (const QByteArray& name : names) line += ',' + name;
    return line + ',';
}

bool wholePictureLine(QByteArrayView name, int n) {
    // The number after the last "f": foto\140509_071226f1 is the start of ...f17 at line 17.
    const qsizetype f = name.lastIndexOf('f');
    const QByteArrayView number = f < 0 ? QByteArrayView() : name.sliced(f + 1);
    const QByteArray place = QByteArray::number(n);
    if (!number.isEmpty() && number.size() < place.size() && place.startsWith(number)) return false;
    return QFileInfo::exists(nativePath(name.toByteArray() + ".jpg"));
}

bool wholeEventLine(QByteArrayView line) {
    const qsizetype comma = line.indexOf(',');
    if (comma < 0 || !line.endsWith(',')) return false;
    bool number = false;
    const qint64 count = line.first(comma).toByteArray().toLongLong(&number);
    return number && count == line.count(',') - 1;
}

QByteArrayView pictureFile(QByteArrayView name) {
    return name.sliced(std::max(name.lastIndexOf('\\'), name.lastIndexOf('/')) + 1);
}

std::optional<QDateTime> pictureTime(QByteArrayView name) {
    const QByteArrayView stamp = pictureFile(name);
    // hhmmss_ddmmyy: six digits, an underscore, six digits.
    if (stamp.size() < 13 || stamp[6] != '_') return std::nullopt;
    int field[6];
    for (int i = 0; i < 6; ++i) {
        const qsizetype at = i < 3 ? 2 * i : 2 * i + 1;
        const char hi = stamp[at], lo = stamp[at + 1];
        if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return std::nullopt;
        field[i] = (hi - '0') * 10 + (lo - '0');
    }
    const QDate date(2000 + field[5], field[4], field[3]);
    const QTime time(field[0], field[1], field[2]);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    // The clock time as the name says it, in no time zone: a local time that a change to or
    // from summer time skipped or repeated stays the time the name was given.
    return QDateTime(date, time, Qt::UTC);
}

QString nativePath(const QByteArray& storedName) {
    QString s = QString::fromLatin1(storedName);
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(s);
}
