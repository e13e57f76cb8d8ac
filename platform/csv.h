#pragma once
// The working folder's tables (calls.csv, units.csv, ...): Windows-1251 text, fields separated
// by ";", lines ended by CR LF, so that a spreadsheet opens them as they stand. A field holding
// ";" or a quote is quoted as CSV quotes it; a line break within a field is written as a blank,
// so that every record stays one line of the file.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace plat {

// One field as the file holds it, quoted where it must be.
QByteArray csvField(QByteArray text);
// The fields of one line (its line break, if any, taken off), quotes taken off; nothing when a
// quote is left open, for such a line was cut off or damaged.
std::optional<QList<QByteArray>> csvFields(QByteArrayView line);

}  // namespace plat
