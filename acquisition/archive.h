#pragma once
// The archive's names and index lines. A picture's base name is its path relative to the
// working folder without ".jpg", in the stored form with a backslash: foto\hhmmss_ddmmyyfN,
// the local time of filing and N, the picture's place in the picture list. An event line
// lists the pictures of one transfer: the count, then a comma before each name and a final
// comma, as in 2,foto\140509_071226f17,foto\140511_071226f18,
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The archive's files, in the working folder.
namespace archive {
inline const QString pictureList = QStringLiteral("files.txt");   // ListBox1, one base name a line
inline const QString eventList = QStringLiteral("events.txt");    // ListBox2, one event line a line
inline const QString phaseFile = QStringLiteral("temp.dat");      // the bytes of the last data phase
inline const QString phaseMark = QStringLiteral("temp.pending");  // a data phase not yet filed
inline const QString placeholder = QStringLiteral("vid.jpg");     // shown by a pane with no picture
inline constexpr char pictureFolder[] = "foto";
}  // namespace archive

QByteArray pictureName(const QDateTime& when, int n);
// A base name without its folder: 140509_071226f17 of foto\140509_071226f17 (a slash is
// taken as a folder's end too).
QByteArrayView pictureFile(QByteArrayView name);
// The time a picture's base name gives (hhmmss_ddmmyy after its folder, the year taken as
// 2000 to 2099); nothing for a name that holds no valid date and time there.
std::optional<QDateTime> pictureTime(QByteArrayView name);
// The stored form of archive names uses a backslash ("foto\140509_071226f17");
// only file operations translate it to the native separator.
QString nativePath(const QByteArray& storedName);

QByteArray eventLine(const QList<QByteArray>& names);

// Whether a last line of files.txt or events.txt that lacks its line break is an entry (a file
// made or edited elsewhere) rather than the start of one that a crash cut off. A picture line,
// line n of the list, is whole when its picture is in foto, unless its number is the start of
// n: then it can be the name filing gives line n, cut off in its number. An event line is
// whole when it ends with its final comma and holds as many names as its count says.
bool wholePictureLine(QByteArrayView name, int n);
bool wholeEventLine(QByteArrayView line);
