#pragma once
// "Объекты": the board of the units of the book, how each stands and its pictures. A row for
// each unit (name, number, when last heard, calls and pictures of today, pictures not yet
// seen, its state, its newest picture small), then one for each number that called and is
// not in the book. The buttons add, change and remove units, dial the chosen one for a
// picture, open its pictures in "Архив" and count every picture seen.
//
// The window is modeless and stays over the main window; the station owns it and builds it
// once. While it is hidden it only notes that what it shows is old, and works its rows out
// again when it opens.
#include "watch/boardrows.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

#include <memory>
#include <vector>

namespace Ui {
class TForm6;
}
namespace watch {
class Watch;
}
class TForm7;

class TForm6 : public QWidget {
    Q_OBJECT
public:
    TForm6(watch::Watch& station, QWidget* owner);
    ~TForm6() override;

    // Shows the board, or raises it when it is open, with its rows worked out afresh when
    // something happened since they were.
    void open();
    // Something the rows show changed: an open board shows it at once, a hidden one looks again
    // when it opens.
    void changed();
    // The pictures at these places of the picture list were seen just now.
    void seen(const std::vector<int>& places);
    // Works the rows out and shows them; the chosen unit stays chosen.
    void refresh();

    const std::vector<watch::BoardRow>& rows() const { return board_.rows; }
    // The chosen row, -1 when none is.
    int chosen() const;
    void choose(int row);

    void Button1Click();  // Добавить
    void Button2Click();  // Изменить
    void Button3Click();  // Удалить
    void Button4Click();  // Добавить в книгу
    void Button5Click();  // Снимок
    void Button6Click();  // Снимки: Enter, a double click
    void Button7Click();  // Все просмотрены

    std::unique_ptr<Ui::TForm6> ui;
    std::unique_ptr<TForm7> form7;  // the unit dialog

protected:
    // Up, Down, Enter and Esc wherever the focus is in the board.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showRow(int index);
    void showChosen();
    // The station's own faults and how long its disk lasts, under the rows.
    void showStation();
    // The book's row of the chosen unit; -1, and the operator is asked to choose one, when the
    // chosen row is no unit of the book.
    int chosenUnit();
    QPixmap thumbnail(const QByteArray& name);
    void say(const QString& text);
    template <class F> void handle(F&& f);

    watch::Watch& station;
    watch::BoardRows board_;
    bool stale_ = true;
    QDate day_;                          // the day "today" meant when the rows were worked out
    QHash<QByteArray, QPixmap> thumbs_;  // by picture name; a null one for a file that gives none
};
