#include "watch/stationlog.h"

#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/csv.h"
#include "platform/durable.h"

#include <QFile>

#include <array>

namespace watch {

namespace {

const std::array<QString, 9> kWords = {
    QStringLiteral("проверка"),    QStringLiteral("молчит"),         QStringLiteral("на связи"),
    QStringLiteral("нет модема"),  QStringLiteral("модем на месте"), QStringLiteral("модем не готов"),
    QStringLiteral("модем готов"), QStringLiteral("мало места"),     QStringLiteral("место есть")};

constexpr qsizetype kUnwrittenLimit = 64 * 1024;  // lines kept while the file cannot be written

}  // namespace

QString eventWord(Event event) { return kWords[std::size_t(event)]; }

QByteArray StationLog::heading() { return plat::toCp1251(QStringLiteral("Время;Событие;Объект;Номер;Текст")) + "\r\n"; }

QByteArray StationLog::formatLine(const Report& r) {
    QByteArray line = plat::toCp1251(journal::timeText(r.time));
    line += ';' + plat::toCp1251(eventWord(r.event));
    line += ';' + plat::csvField(plat::toCp1251(r.unit));
    line += ';' + plat::csvField(journal::numberField(r.number));
    line += ';' + plat::csvField(plat::toCp1251(r.text));
    return line + "\r\n";
}

std::optional<Report> StationLog::parseLine(QByteArrayView line) {
    const auto f = plat::csvFields(line);
    if (!f || f->size() != 5) return std::nullopt;
    const auto time = journal::parseTime((*f)[0]);
    const QString word = plat::fromCp1251((*f)[1]);
    const auto w = std::find(kWords.begin(), kWords.end(), word);
    if (!time || w == kWords.end()) return std::nullopt;
    return Report{*time, Event(w - kWords.begin()), plat::fromCp1251((*f)[2]), journal::numberOf((*f)[3]),
                  plat::fromCp1251((*f)[4])};
}

std::vector<Report> StationLog::read() const {
    std::vector<Report> all;
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly)) return all;
    while (!f.atEnd()) {
        if (auto r = parseLine(f.readLine())) all.push_back(std::move(*r));
    }
    return all;
}

bool StationLog::append(const Report& report) {
    unwritten_ += formatLine(report);
    if (plat::appendLines(fileName_, unwritten_, heading()) < 0) {
        // The oldest lines go first when the disk stays unwritable for long.
        if (unwritten_.size() > kUnwrittenLimit)
            unwritten_.remove(0, unwritten_.indexOf('\n', unwritten_.size() - kUnwrittenLimit) + 1);
        return false;
    }
    unwritten_.clear();
    return true;
}

}  // namespace watch
