#pragma once
// The items of the settings transfer that are built from data alone, so that they can be
// checked without a line.
#include <QByteArray>
#include <QDateTime>
#include <array>

// The clock record: seconds, minutes, hours, day, month and year in packed BCD, then the
// resolution code twice ("1", "2" or "3" for the picker's item 0, 1 or 2) and two 0x01 bytes.
// With no resolution picked the code is "1", the unit's lowest resolution.
std::array<unsigned char, 10> clockRecord(const QDateTime& now, int resolutionItem);
// Packs a phone number two characters a byte into out[0..7]; at most the first 15 characters
// are packed, so the end mark always fits.
void convtel(unsigned char* out, const char* tel, int len);
// A report number as the unit takes it: the 8 packed bytes and a carriage return.
std::array<unsigned char, 9> phoneRecord(const QByteArray& tel);
// A text item: the text, "1" in place of an empty one, then a carriage return.
QByteArray textItem(const QByteArray& text);
