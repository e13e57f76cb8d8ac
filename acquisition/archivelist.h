#pragma once
// The picture list and the event list as the archive holds them for years: every line in one
// byte buffer, exactly as files.txt and events.txt hold it (each line ended by CR LF), with
// the offset where each line begins. A million pictures cost their file's bytes and four
// bytes a line, not a string object a line.
//
// The list keeps track of how much of its file it equals, so that filing appends only its
// new lines to the file and closing writes nothing when the file already equals the list.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace archive {

class List {
public:
    List() = default;
    List(std::initializer_list<QByteArray> lines);

    // Whether a last line without a line break, line n of the list, is whole.
    using WholeLast = std::function<bool(QByteArrayView line, int n)>;
    // Replaces the lines with those of the file. Lines may end with CR LF, a lone CR or a lone
    // LF, and reading stops at a NUL byte. Ravlo ends every line it writes with CR LF, so a
    // last line without a line break is either the end of an append that a crash cut off or
    // the last line of a file made or edited elsewhere: `whole` tells which (without it, every
    // such line is cut off). A whole one is an entry, and the next save gives it its CR LF; a
    // cut-off one is no entry, and the next save cuts it off the file before appending.
    // "Cannot open file %s" when the file cannot be read (the list is then left as it was).
    void load(const QString& fileName, const WholeLast& whole = {});
    // Makes the file equal to the list: nothing is written when it already is; the lines it
    // lacks are appended in one write and made durable when it holds the list's first lines
    // in their form; otherwise it is replaced whole (through a temporary file and a rename).
    // "Cannot create file %s" when that fails (the file then ends where it ended before).
    void save(const QString& fileName);

    int count() const { return int(starts_.size()); }
    bool isEmpty() const { return starts_.empty(); }
    // Line n; "List index out of bounds (%d)" when there is none.
    QByteArray at(int n) const;
    // Line n without a copy, for n in [0, count()).
    QByteArrayView view(int n) const;
    // The lines from n on.
    QList<QByteArray> mid(int n) const;
    // Every line, as a list of their own: for small lists and checks.
    QList<QByteArray> lines() const { return mid(0); }
    void append(QByteArrayView line);
    void clear();
    // The lines as the file holds them, each ended by CR LF.
    const QByteArray& content() const { return text_; }
    bool operator==(const List& other) const { return text_ == other.text_; }

private:
    void reserveFor(qsizetype more);

    QByteArray text_;
    std::vector<std::uint32_t> starts_;
    // How far the file equals text_: its first diskSize_ bytes are text_'s first diskSize_
    // bytes, and those are whole lines but for a last one that lacks its CR LF. -1: unknown,
    // or the file is in another form.
    qint64 diskSize_ = -1;
    // The file's length as last read or written: longer than diskSize_ when it ends in a line
    // that a crash cut off.
    qint64 fileSize_ = -1;
};

}  // namespace archive
