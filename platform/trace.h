#pragma once
// The wire trace: what went over the serial line and into the archive, for finding out why a
// call failed. Two logging categories, silent unless turned on, e.g.
//     QT_LOGGING_RULES="ravlo.*=true" ravlo
// and then printed on standard error only; nothing is ever written to a file.
//
//   ravlo.link     commands written, reply lines and what they were taken for, serial errors,
//                  the end of each exchange and phase
//   ravlo.archive  pictures cut out of a phase, files written
//
// Exchanges are traced with qCDebug, their outcomes and errors with qCInfo, so that
// "ravlo.*.info=true" gives the outcomes alone. A category that is off costs one test: the
// macros look at it before they evaluate their arguments, so escaping happens only when the
// line is printed.
#include <QByteArray>
#include <QByteArrayView>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcArchive)

namespace plat {

// The bytes as printable ASCII: CR as \r, LF as \n, a backslash as \\, any other byte outside
// 0x20..0x7E (controls, NUL, CP1251 text) as \xNN, the rest as it is: the same notation as the
// recorded modem transcripts. With a limit of 0 or more, only the first `limit` bytes are
// shown, followed by "...(+N)" for the N left out.
QByteArray escapeBytes(QByteArrayView bytes, qsizetype limit = -1);

// The most bytes of one received line the trace shows: enough for any modem reply, while a
// line of noise or picture data stays one readable trace line.
constexpr qsizetype kTraceLine = 120;

}  // namespace plat
