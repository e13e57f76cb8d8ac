#include "acquisition/archivelist.h"
#include "platform/durable.h"
#include "platform/stringlist.h"
#include "platform/toolkit.h"
#include "platform/trace.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace archive {

namespace {

constexpr QByteArrayView kBreak = "\r\n";
// Line offsets are four bytes: a list file may not exceed 4 GiB (some 150 million pictures).
constexpr qsizetype kMaxText = std::numeric_limits<std::uint32_t>::max();

}  // namespace

List::List(std::initializer_list<QByteArray> lines) {
    for (const QByteArray& line : lines) append(line);
}

void List::load(const QString& fileName, const WholeLast& whole) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxText)
        throw plat::ToolkitError(QStringLiteral("Cannot open file %1").arg(fileName));
    QByteArray data = f.readAll();
    f.close();
    const qint64 fileSize = data.size();
    if (const qsizetype nul = data.indexOf('\0'); nul >= 0) data.truncate(nul);

    std::vector<std::uint32_t> starts;
    starts.reserve(std::size_t(data.count('\n')) + 1);
    bool canonical = true;  // every line so far ends with CR LF
    qsizetype ended = 0;    // where the lines with a line break end
    const char* d = data.constData();
    const qsizetype n = data.size();
    for (qsizetype i = 0, start = 0; i < n; ++i) {
        if (d[i] != '\r' && d[i] != '\n') continue;
        starts.push_back(std::uint32_t(start));
        if (d[i] == '\r' && i + 1 < n && d[i + 1] == '\n') ++i;
        else canonical = false;
        start = ended = i + 1;
    }
    // A last line without its line break.
    const bool open = ended < n;
    const bool kept = open && whole && whole(QByteArrayView(d + ended, n - ended), int(starts.size()));
    if (kept) starts.push_back(std::uint32_t(ended));
    if (open)
        qCInfo(lcArchive, "%s: a last line without its line break, %lld bytes, is %s", qUtf8Printable(fileName),
               qint64(n - ended), kept ? "whole: kept" : "cut off by a crash: left out");
    if (canonical) {
        // The usual case: the file's bytes are the list as they stand, without a copy. A last
        // line kept without its CR LF gets it in the list; the file equals the list up to it.
        data.truncate(kept ? n : ended);
        if (kept) data.append(kBreak);
        text_ = std::move(data);
        starts_ = std::move(starts);
        diskSize_ = kept ? n : ended;
        fileSize_ = fileSize;
        return;
    }
    // Lines ended otherwise (a file made elsewhere, or a CR whose LF a crash cut off): the
    // list takes the CR LF form, and the next save writes the file whole in it.
    const qsizetype upTo = kept ? n : ended;
    List read;
    read.reserveFor(upTo + qsizetype(starts.size()));
    for (const QByteArray& line : plat::StringList::parse(data.left(upTo))) read.append(line);
    *this = std::move(read);
}

void List::save(const QString& fileName) {
    if (diskSize_ == text_.size() && fileSize_ == diskSize_) return;
    // Only the new lines, after the lines the file holds already.
    if (diskSize_ >= 0 && plat::writeAt(fileName, diskSize_, text_.mid(diskSize_))) {
        qCDebug(lcArchive, "appended to %s: %lld bytes", qUtf8Printable(fileName), qint64(text_.size() - diskSize_));
        diskSize_ = fileSize_ = text_.size();
        return;
    }
    // A file that is not the list's start (it was never read, is in another form, or changed
    // behind the program's back) is replaced whole; so is one an append could not extend.
    if (!plat::writeFileAtomic(fileName, text_))
        throw plat::ToolkitError(QStringLiteral("Cannot create file %1").arg(fileName));
    diskSize_ = fileSize_ = text_.size();
}

QByteArray List::at(int n) const {
    if (n < 0 || n >= count()) throw plat::ToolkitError(QStringLiteral("List index out of bounds (%1)").arg(n));
    return view(n).toByteArray();
}

QByteArrayView List::view(int n) const {
    const std::size_t k = std::size_t(n);
    const qsizetype start = starts_[k];
    const qsizetype end = (k + 1 < starts_.size() ? qsizetype(starts_[k + 1]) : text_.size()) - kBreak.size();
    return QByteArrayView(text_.constData() + start, end - start);
}

QList<QByteArray> List::mid(int n) const {
    QList<QByteArray> out;
    for (int k = std::max(n, 0); k < count(); ++k) out.append(view(k).toByteArray());
    return out;
}

void List::append(QByteArrayView line) {
    reserveFor(line.size() + kBreak.size());
    starts_.push_back(std::uint32_t(text_.size()));
    text_.append(line);
    text_.append(kBreak);
}

void List::clear() {
    text_.clear();
    starts_.clear();
    diskSize_ = fileSize_ = -1;
}

void List::reserveFor(qsizetype more) {
    // Grows by a sixteenth at a time, not by doubling: a list of years must not take twice
    // its size for the sake of one more line.
    const qsizetype need = text_.size() + more;
    if (need > kMaxText) throw plat::ToolkitError(QStringLiteral("Unable to insert a line"));
    if (text_.capacity() < need) text_.reserve(std::min(need + need / 16 + 4096, kMaxText));
    if (starts_.capacity() == starts_.size()) starts_.reserve(starts_.size() + starts_.size() / 16 + 1024);
}

}  // namespace archive
