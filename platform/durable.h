#pragma once
// Making what was written survive a power cut: a file's bytes, and a folder's entries (files
// made, renamed or removed in it), reach the disk before the program goes on.
#include <QString>

class QFileDevice;

namespace plat {

// Writes the file's buffered bytes and waits until the system has them on the disk; false
// when that fails (a file system that cannot sync at all counts as done).
bool syncFile(QFileDevice& file);
// The same for a folder's entries ("" for the working folder). Where folders cannot be
// synced (Windows, which keeps them with the files), it does nothing. Callers go on whatever
// it returns: the entries are written all the same, only later.
bool syncFolder(const QString& path);

// Appends whole lines (ending with their line break) to a file, creating it when missing, in
// one write, and waits until they are on the disk. A file whose last line was cut off by a
// crash in the middle of an earlier append gets its line break first, so that the cut line
// stays a broken line of its own and never runs into the new ones. `header` is written first
// when the file is new or empty. Returns the offset at which `lines` begin, or -1 when the
// file could not be opened or written (it then ends where it ended before, as far as the
// system allows).
qint64 appendLines(const QString& fileName, const QByteArray& lines, const QByteArray& header = {});

// Writes bytes at offset `at` of a file, creating it when missing, in one write, and waits
// until they are on the disk. Whatever the file holds beyond `at` (the rest of a line a crash
// cut off) is cut off first. False when the file is shorter than `at`, or could not be opened
// or written (it is then cut back to `at`, as far as the system allows).
bool writeAt(const QString& fileName, qint64 at, const QByteArray& bytes);

// Writes bytes to a file through a temporary file in the same folder and a rename; the file
// and the rename are on the disk when it returns true.
bool writeFileAtomic(const QString& fileName, const QByteArray& content);

}  // namespace plat
