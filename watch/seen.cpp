#include "watch/seen.h"

#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/csv.h"
#include "platform/durable.h"
#include "platform/trace.h"

#include <QFile>
#include <QHashFunctions>

#include <algorithm>

namespace watch {

namespace {

const QString allBefore = QStringLiteral("все до него");
const QString one = QStringLiteral("да");

QByteArray heading() { return plat::toCp1251(QStringLiteral("Номер;Снимок;Просмотрен")) + "\r\n"; }

std::uint32_t hashOf(QByteArrayView name) { return std::uint32_t(qHash(name)); }

}  // namespace

void Seen::load(const archive::List& pictures) {
    upTo_ = 0;
    after_.clear();
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly)) {
        // No count was kept: what the archive holds now was there before it.
        upTo_ = pictures.count();
        qCInfo(lcArchive, "%s not there: the %d pictures of the archive count as seen", qUtf8Printable(fileName_),
               upTo_);
        return;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const auto fields = plat::csvFields(line.trimmed());
        if (!fields || fields->size() < 3) continue;
        bool ok = false;
        const int n = (*fields)[0].trimmed().toInt(&ok);
        if (!ok || n < 0) continue;  // the heading, or a line damaged by hand
        const QString what = plat::fromCp1251((*fields)[2]).trimmed();
        if (what == allBefore) {
            upTo_ = std::max(upTo_, n + 1);
        } else if (what == one) {
            // Where the list holds another picture at that place, the name finds it.
            const QByteArray& name = (*fields)[1];
            const int at = n < pictures.count() && pictures.view(n) == name ? n : place(name, pictures);
            if (at >= 0) after_.insert(at);
        }
    }
    fit(pictures);
    advance();
}

bool Seen::save(const archive::List& pictures) const {
    QByteArray text = heading();
    const auto line = [&](int n, const QString& what) {
        const QByteArray name = n < pictures.count() ? pictures.at(n) : QByteArray();
        text += QByteArray::number(n) + ';' + plat::csvField(name) + ';' + plat::toCp1251(what) + "\r\n";
    };
    if (upTo_ > 0) line(upTo_ - 1, allBefore);
    for (const int n : after_) line(n, one);
    return plat::writeFileAtomic(fileName_, text);
}

std::vector<int> Seen::mark(const QList<QByteArray>& names, const archive::List& pictures) {
    fit(pictures);
    std::vector<int> now;
    for (const QByteArray& name : names) {
        const int at = place(name, pictures);
        if (at < 0 || seen(at)) continue;
        after_.insert(at);
        now.push_back(at);
    }
    advance();
    return now;
}

void Seen::markAll(const archive::List& pictures) {
    upTo_ = pictures.count();
    after_.clear();
}

int Seen::place(QByteArrayView name, const archive::List& pictures) {
    const int n = journal::pictureNumber(name);
    if (n >= 0 && n < pictures.count() && pictures.view(n) == name) return n;
    // Not an archive Ravlo numbered, or not this picture: the index of names answers.
    const int count = pictures.count();
    if (count < indexed_) {
        byHash_.clear();
        indexed_ = 0;
    }
    if (indexed_ < count) {
        const auto middle = byHash_.size();
        byHash_.reserve(std::size_t(count));
        for (int k = indexed_; k < count; ++k) byHash_.emplace_back(hashOf(pictures.view(k)), k);
        std::sort(byHash_.begin() + qsizetype(middle), byHash_.end());
        std::inplace_merge(byHash_.begin(), byHash_.begin() + qsizetype(middle), byHash_.end());
        indexed_ = count;
    }
    const std::uint32_t h = hashOf(name);
    auto it = std::lower_bound(byHash_.begin(), byHash_.end(), std::pair<std::uint32_t, int>{h, -1});
    // Of a name listed twice, the newest place is the picture meant.
    int found = -1;
    for (; it != byHash_.end() && it->first == h; ++it)
        if (pictures.view(it->second) == name) found = it->second;
    return found;
}

void Seen::fit(const archive::List& pictures) {
    const int count = pictures.count();
    if (upTo_ > count) upTo_ = count;
    after_.erase(after_.lower_bound(count), after_.end());
}

void Seen::advance() {
    while (!after_.empty() && *after_.begin() <= upTo_) {
        if (*after_.begin() == upTo_) ++upTo_;
        after_.erase(after_.begin());
    }
}

}  // namespace watch
