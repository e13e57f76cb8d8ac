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

} // namespace plat
