// The list-file readers: whatever a file holds, reading what a save wrote gives the same
// lines back, and no line holds a line end or a NUL byte. The archive's lists read the same
// lines but for a last one without its line break, which the list's rule keeps whole or drops
// as an append a crash cut off, and a save, whether it appends or writes the file whole,
// leaves the file equal to the list.
#include "acquisition/archivelist.h"
#include "platform/stringlist.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void write(const QString& name, const QByteArray& content) {
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) std::abort();
}

// `keepLast`: the rule the list is loaded with takes a last line without its line break for
// whole.
void checkArchiveList(const QByteArray& content, const QList<QByteArray>& lines, bool keepLast) {
    static const QTemporaryDir dir;
    static const QString file = dir.filePath(QStringLiteral("list.txt"));
    const archive::List::WholeLast whole = [keepLast](QByteArrayView, int) { return keepLast; };
    QList<QByteArray> expected = lines;
    const QByteArray read = content.left(content.indexOf('\0') < 0 ? content.size() : content.indexOf('\0'));
    if (!keepLast && !read.isEmpty() && !read.endsWith('\r') && !read.endsWith('\n')) expected.removeLast();
    write(file, content);
    archive::List list;
    list.load(file, whole);
    if (list.lines() != expected) std::abort();
    if (list.content() != plat::StringList::format(expected)) std::abort();
    list.save(file);
    if (readAll(file) != list.content()) std::abort();
    // A start that reads a file with a cut-off or a whole last line and then files a picture.
    write(file, content);
    list.load(file, whole);
    list.append("foto\\140509_071226f17");
    list.save(file);
    if (readAll(file) != plat::StringList::format(expected + QList<QByteArray>{"foto\\140509_071226f17"})) std::abort();
    archive::List again;
    again.load(file);
    if (again != list) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto lines = plat::StringList::parse(content);
    for (const auto& l : lines)
        if (l.contains('\r') || l.contains('\n') || l.contains('\0')) std::abort();
    const QByteArray saved = plat::StringList::format(lines);
    if (plat::StringList::parse(saved) != lines) std::abort();
    if (plat::StringList::format(plat::StringList::parse(saved)) != saved) std::abort();
    checkArchiveList(content, lines, false);
    checkArchiveList(content, lines, true);
    return 0;
}
