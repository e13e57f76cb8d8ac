#pragma once
// The archive's names and index lines. A picture's base name is its path relative to the
// working folder without ".jpg", in the stored form with a backslash: foto\hhmmss_ddmmyyfN,
// the local time of filing and N, the picture's place in the picture list. An event line
// lists the pictures of one transfer: the count, then a comma before each name and a final
// comma, as in 2,foto\140509_071226f17,foto\140511_071226f18,
#include <QByteArray>
#include <QDateTime>
#include <QList>

QByteArray pictureName(const QDateTime& when, int n);
QByteArray eventLine(const QList<QByteArray>& names);
