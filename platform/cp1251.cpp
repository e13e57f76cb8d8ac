#include "platform/cp1251.h"
#include <QStringDecoder>
#include <QStringEncoder>

namespace plat {

QByteArray toCp1251(const QString& text) {
    QStringEncoder enc("windows-1251");
    if (!enc.isValid()) return text.toLatin1();
    return enc.encode(text);
}

QString fromCp1251(const QByteArray& bytes) {
    QStringDecoder dec("windows-1251");
    if (!dec.isValid()) return QString::fromLatin1(bytes);
    return dec.decode(bytes);
}

}  // namespace plat
