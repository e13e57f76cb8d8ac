#pragma once
// "Архив": finding pictures by their date. A calendar marks the days that have pictures; the
// list beside it holds the chosen day's events (time, pictures, caller), and the chosen
// event's pictures are shown below it whole, side by side. Choosing an event shows it in the
// main window's panes, where paging goes on from it; the pictures of an event or a day can be
// saved into a folder under names that tell their time. The archive is only read.
//
// The window is modeless and stays over the main window, which owns it; it is built once and
// shown again by the tool-bar button and Ctrl+F.
#include "viewer/dayindex.h"

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

    // Shows the window, or raises it when it is open, on the day of the event the main window
    // shows (the newest day when there is none), with the keyboard focus in the date field.
    void open();
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
    void save(const QList<QByteArray>& names);
    void mark(const viewer::DayIndex::Change& change);

    TForm1& form1;
    viewer::DayIndex index;
    QDate day_;              // the day shown
    std::vector<int> rows_;  // its events, a row each
};
