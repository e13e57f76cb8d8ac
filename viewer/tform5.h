#pragma once
// "Архив": finding pictures by their date. A calendar marks the days that have pictures; the
// list beside it holds the chosen day's events (time, pictures, caller), and the chosen
// event's pictures are shown below it whole, side by side. Choosing an event shows it in the
// main window's panes, where paging goes on from it; the pictures of an event or a day can be
// saved into a folder under names that tell their time. The archive is only read.
//
// The window shows the pictures of all units, of one unit of the book, or of the numbers the
// book does not hold: the calendar, the list and the finding of a day keep to that choice.
//
// The window is modeless and stays over the main window, which owns it; it is built once and
// shown again by the tool-bar button and Ctrl+F.
#include "acquisition/callers.h"
#include "viewer/dayindex.h"
#include "watch/book.h"

#include <QDate>
#include <QWidget>

#include <memory>
#include <vector>

namespace Ui {
class TForm5;
}
class TForm1;
class QTreeWidgetItem;

class TForm5 : public QWidget {
    Q_OBJECT
public:
    TForm5(TForm1& main, QWidget* owner);
    ~TForm5() override;

    // Shows the window, or raises it when it is open, with every unit's pictures, on the day
    // of the event the main window shows (the newest day when there is none), with the
    // keyboard focus in the date field.
    void open();
    // The same with the filter's pictures, on the day of event k (the day of the filter's
    // newest event when k is -1 or not the filter's).
    void open(const watch::Filter& filter, int event);
    // The pictures shown: all, one unit's, or those of numbers the book does not hold.
    const watch::Filter& filter() const { return filter_; }
    void setFilter(const watch::Filter& filter);
    // Takes in a change of the book: ComboBox1 lists its units again (the chosen one stays
    // chosen while the book holds it), and the units' days and names follow.
    void refreshUnits();
    // Edit1's Enter: goes to the typed day, or to the nearest day that has pictures.
    void Edit1Enter();
    // Goes to the day with pictures nearest to `wanted`; false when no day has pictures.
    bool goToDate(QDate wanted);
    // Shows the day's events, the first one chosen (or `event` when it is one of them).
    void showDay(QDate day, int event = -1);
    // The events of the list's rows, as indexes into the event list.
    const std::vector<int>& rows() const { return rows_; }
    // The event chosen in the list, or -1.
    int chosen() const;
    // Shows the chosen event in the main window, as "<<" and ">>" would.
    void showInMain();
    // Saves the pictures of the chosen event (Button1) or of the shown day (Button2) into a
    // folder the operator chooses.
    void Button1Click();
    void Button2Click();
    // Takes in what was filed since the index last looked: new days are marked, and the day
    // shown gets its new events.
    void refresh();

    std::unique_ptr<Ui::TForm5> ui;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Esc closes the window, as it closes a whole picture.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showPictures(int event);
    // The filter and its row of ComboBox1, nothing else.
    void choose(const watch::Filter& filter);
    // The filter, with the calendar's marks and what the list needs brought up to date.
    void apply(const watch::Filter& filter);
    void save(const QList<QByteArray>& names);
    // Marks the days that have the filter's pictures: all of them again, or those added.
    void markAll();
    void mark(const std::vector<QDate>& days);
    // The filter's events; an empty one for every event.
    viewer::DayIndex::Keep keep() const;
    // Which numbers of the journal the filter keeps.
    void keepNumbers();
    // No day has the filter's pictures: an empty list, and the label says so.
    void showNone();
    QString noPictures() const;
    // Who an event came from, as the list shows it.
    QString sourceOf(int event) const;

    TForm1& form1;
    viewer::DayIndex index;
    archive::Callers& callers;  // the main window's
    unsigned callersSeen_ = 0;  // its changes() when this window last took them in
    watch::Filter filter_;
    std::vector<watch::Filter> filters_;  // ComboBox1's, row for row
    std::vector<char> kept_;              // for each of the journal's numbers: the filter keeps it
    bool keptUnnamed_ = true;             // the filter keeps events that no call names
    bool stale_ = true;                   // the marks and kept_ are not yet the filter's and the book's
    QDate day_;                           // the day shown
    std::vector<int> rows_;               // its events, a row each
};

namespace viewer {
// Who a call came from, as the windows name it: its unit's name in the book as it is now; the
// name its line kept when the book no longer holds the number; else the number.
QString sourceText(const journal::Call& call, const watch::Book& book);
}  // namespace viewer
