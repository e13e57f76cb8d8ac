#pragma once
// Files and wire items are single-byte Windows-1251 text; the widgets hold Unicode.
#include <QByteArray>
#include <QString>

namespace plat {
QByteArray toCp1251(const QString& text);
QString fromCp1251(const QByteArray& bytes);
}  // namespace plat
