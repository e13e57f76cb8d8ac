#pragma once
// Taking pictures out of the archive: copies under names that say when each was taken, for
// anyone to whom the operator hands them. The archive itself is only read.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace viewer {

// The name a picture is saved under, without ".jpg": the time its stored name gives,
// "2026-12-07 14-05-09"; a stored name that gives no time keeps its own file name.
QString exportName(QByteArrayView storedName);

// Copies a file's bytes as they stand to `to`, replacing it; an empty string when done,
// else what went wrong, in the operator's words.
QString copyPicture(const QString& from, const QString& to);

struct ExportResult {
    int saved = 0;
    QStringList unread;  // stored names whose file is missing or cannot be read
    QString failure;     // what stopped the saving, when something did
};

// Saves the pictures (stored names) into the folder under their export names, in the order
// given; the second picture of the same second gets " (2)", the third " (3)", and so on. A
// file of the folder is never replaced: one that already holds the same picture counts as
// saved, and one that holds another makes the next number be taken.
ExportResult exportPictures(const QList<QByteArray>& storedNames, const QString& folder);

}  // namespace viewer
