#pragma once
// Which pictures of the archive the operator has seen: shown in a pane of the main window, in
// "Архив" or whole. Pictures are told by their place in the picture list; what is kept is the
// place up to which all were seen and the few seen after it, so that a million pictures cost
// a number and a short list.
//
// seen.csv in the working folder keeps it across restarts: Windows-1251, ";" between fields,
// CR LF lines, a heading, then the newest picture up to which (itself included) all are seen
// and each picture seen after it, with its place in the list and its name:
//   Номер;Снимок;Просмотрен
//   999;foto\051921_101226f999;все до него
//   1003;foto\051930_101226f1003;да
// The file is small and replaced whole.
#include "acquisition/archivelist.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace watch {

inline const QString seenFile = QStringLiteral("seen.csv");

class Seen {
public:
    explicit Seen(QString fileName = seenFile) : fileName_(std::move(fileName)) {}

    // Reads the file against the picture list as loaded at the start. Without the file every
    // picture of the list counts as seen: they were there before anybody counted. A list
    // shorter than the file's place (the archive was started anew) takes the place back to
    // its end.
    void load(const archive::List& pictures);
    // Replaces the file with what is seen now; false when it could not be written.
    bool save(const archive::List& pictures) const;

    // Marks the named pictures seen; returns the places of those that were not seen before.
    std::vector<int> mark(const QList<QByteArray>& names, const archive::List& pictures);
    // Every picture of the list is seen.
    void markAll(const archive::List& pictures);

    bool seen(int place) const { return place < upTo_ || after_.count(place) != 0; }
    // All pictures before this place are seen.
    int upTo() const { return upTo_; }
    // The pictures seen after upTo().
    const std::set<int>& after() const { return after_; }

    // The place of a picture in the list by its name, -1 when the list does not hold it. A
    // picture's number is its place in an archive Ravlo filed; otherwise it is looked up in an
    // index of the list's names, made when it is first needed and kept up with the list.
    int place(QByteArrayView name, const archive::List& pictures);

private:
    // A list that got shorter is another archive: what lies beyond its end is forgotten.
    void fit(const archive::List& pictures);
    void advance();

    QString fileName_;
    int upTo_ = 0;
    std::set<int> after_;
    // The index of names: (hash of the name, place), sorted, for the first indexed_ places.
    std::vector<std::pair<std::uint32_t, int>> byHash_;
    int indexed_ = 0;
};

}  // namespace watch
