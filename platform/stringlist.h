#pragma once
// A list of single-byte text lines with the load, save, put and read rules of the toolkit's
// string lists: reading accepts CR, LF and CR LF and stops at a NUL byte; writing ends every
// line with CR LF and replaces the file atomically.
#include <QByteArray>
#include <QList>
#include <QString>

namespace plat {

class StringList {
public:
    StringList() = default;
    StringList(std::initializer_list<QByteArray> lines) : lines_(lines) {}

    // Splits file content into lines.
    static QList<QByteArray> parse(const QByteArray& content);
    // Joins lines, each ended by CR LF.
    static QByteArray format(const QList<QByteArray>& lines);

    // Replaces the lines with those of the file; "Cannot open file %s" when it cannot be read
    // (the list is then left as it was).
    void load(const QString& fileName);
    // Writes the lines to the file through a temporary file and a rename;
    // "Cannot create file %s" when that fails (the old file is then left as it was).
    void save(const QString& fileName) const;

    // Line n; "List index out of bounds (%d)" when there is none.
    const QByteArray& at(int n) const;
    // Replaces line n, or appends when the list has exactly n lines; "Unable to insert a line" otherwise.
    void put(int n, const QByteArray& text);
    void append(const QByteArray& text) { lines_.append(text); }
    void clear() { lines_.clear(); }

    int count() const { return int(lines_.size()); }
    bool isEmpty() const { return lines_.isEmpty(); }
    const QList<QByteArray>& lines() const { return lines_; }
    QList<QByteArray>& lines() { return lines_; }
    bool operator==(const StringList&) const = default;

private:
    QList<QByteArray> lines_;
};

}  // namespace plat
