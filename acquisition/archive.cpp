#include "acquisition/archive.h"

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
