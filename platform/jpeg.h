#pragma once
// JPEG decoding for the picture panes, straight on libjpeg. Every failure of the library
// (bad markers, corrupt entropy data, a file that ends early, an absurd header) comes back
// as an error text; nothing here ever aborts the process or waits on more input.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace plat {

// Largest width and height a picture may declare; anything larger is refused before any
// pixel memory is taken.
inline constexpr unsigned kMaxJpegDimension = 8192;

// Decodes a baseline or progressive, grayscale or colour JPEG held in memory. On failure
// returns a null image and, when error is given, stores the library's message in it.
// `atLeast`, when given, lets the library decode the picture small: at a half, a quarter or an
// eighth of its size, the smallest that still covers `atLeast` (for a thumbnail, at a fraction
// of the work).
QImage decodeJpeg(const QByteArray& data, QString* error, QSize atLeast = {});

// Reads and decodes a JPEG file. Throws ToolkitError "Cannot open file <name>" when the file
// cannot be read, and "<name>: <message>" when it cannot be decoded.
QImage loadJpegFile(const QString& path);

// The placeholder picture the panes show before the archive has anything to show, decoded
// from the program's resources. A null image only if the resource is missing from the build.
QImage placeholderPicture();

}  // namespace plat
