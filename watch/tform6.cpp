#include "watch/tform6.h"

#include "acquisition/archive.h"
#include "acquisition/journal.h"
#include "platform/cp1251.h"
#include "platform/jpeg.h"
#include "platform/toolkit.h"
#include "viewer/eventline.h"
#include "watch/tform7.h"
#include "watch/watch.h"
#include "ui_tform6.h"

#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>

namespace {

enum Column { cName, cNumber, cHeard, cCalls, cPictures, cUnseen, cState, cThumb };

const QString unknownName = QStringLiteral("Неизвестный номер");

// A thumbnail's size: the icon size of the list.
constexpr QSize kThumb{80, 60};

}  // namespace

template <class F> void TForm6::handle(F&& f) { plat::guarded(station.sys().ui, std::forward<F>(f)); }

TForm6::TForm6(watch::Watch& watchStation, QWidget* owner)
    : QWidget(owner), ui(std::make_unique<Ui::TForm6>()), station(watchStation) {
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    form7 = std::make_unique<TForm7>(station.sys().ui, this);
    // The columns are fitted to their contents once the rows are in: a header that fits them
    // by itself measures every row at every change of a cell.
    ui->ListView1->header()->setStretchLastSection(true);
    for (const int c : {cCalls, cPictures, cUnseen}) ui->ListView1->headerItem()->setTextAlignment(c, Qt::AlignRight);
    // Up, Down, Enter and Esc act on the list wherever the focus is in the board.
    ui->ListView1->installEventFilter(this);
    for (QPushButton* b : findChildren<QPushButton*>()) b->installEventFilter(this);

    const std::pair<QPushButton*, void (TForm6::*)()> buttons[] = {
        {ui->Button1, &TForm6::Button1Click}, {ui->Button2, &TForm6::Button2Click},
        {ui->Button3, &TForm6::Button3Click}, {ui->Button4, &TForm6::Button4Click},
        {ui->Button5, &TForm6::Button5Click}, {ui->Button6, &TForm6::Button6Click},
        {ui->Button7, &TForm6::Button7Click},
    };
    for (const auto& binding : buttons) {
        const auto click = binding.second;
        connect(binding.first, &QPushButton::clicked, this, [this, click] { handle([&] { (this->*click)(); }); });
    }
    connect(ui->ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { handle([&] { Button6Click(); }); });
    connect(ui->ListView1, &QTreeWidget::currentItemChanged, this, [this] { showChosen(); });
}

TForm6::~TForm6() = default;

void TForm6::open() {
    if (stale_ || day_ != station.sys().clock.now().date()) refresh();
    QWidget::show();
    raise();
    activateWindow();
    ui->ListView1->setFocus();
}

void TForm6::changed() {
    stale_ = true;
    if (isVisible()) refresh();
}

void TForm6::seen(const std::vector<int>& places) {
    if (stale_ || !isVisible()) {
        stale_ = true;
        return;
    }
    // Each picture counts off its unit's row; the event it belongs to tells which.
    const watch::Archive& archive = station.archive();
    for (const int place : places) {
        if (place >= archive.pictures.count()) continue;
        const int event = viewer::eventOf(archive.events, archive.pictures.view(place));
        const int r = event < 0 ? -1 : board_.rowOfEvent(station.callers(), event);
        if (r < 0 || board_.rows[std::size_t(r)].unseen <= 0) continue;
        --board_.rows[std::size_t(r)].unseen;
        showRow(r);
    }
}

void TForm6::refresh() {
    const int was = chosen();
    const QByteArray key = was >= 0 ? watch::nationalNumber(board_.rows[std::size_t(was)].number) : QByteArray();
    const watch::BoardInput input = station.boardInput();
    board_ = watch::boardRows(input);
    day_ = input.today;
    stale_ = false;

    QTreeWidget& list = *ui->ListView1;
    const QSignalBlocker quiet(list);
    const int rows = int(board_.rows.size());
    while (list.topLevelItemCount() > rows) delete list.takeTopLevelItem(list.topLevelItemCount() - 1);
    QList<QTreeWidgetItem*> added;
    for (int r = list.topLevelItemCount(); r < rows; ++r) {
        auto* item = new QTreeWidgetItem;
        for (const int c : {cCalls, cPictures, cUnseen}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        added.append(item);
    }
    list.addTopLevelItems(added);  // the list owns them from here
    int again = rows > 0 ? 0 : -1;
    for (int r = 0; r < rows; ++r) {
        showRow(r);
        if (!key.isEmpty() && watch::nationalNumber(board_.rows[std::size_t(r)].number) == key) again = r;
    }
    // Thumbnails of pictures no row shows any more go.
    QHash<QByteArray, QPixmap> kept;
    for (const watch::BoardRow& row : board_.rows)
        if (thumbs_.contains(row.newestPicture)) kept.insert(row.newestPicture, thumbs_.value(row.newestPicture));
    thumbs_ = std::move(kept);
    for (int c = cName; c < cThumb; ++c) list.resizeColumnToContents(c);
    showStation();
    choose(again);
    showChosen();
}

void TForm6::showRow(int r) {
    const watch::BoardRow& row = board_.rows[std::size_t(r)];
    QTreeWidgetItem* item = ui->ListView1->topLevelItem(r);
    if (!item) return;
    item->setText(cName, row.known() ? row.name : unknownName);
    item->setText(cNumber, plat::fromCp1251(row.number));
    item->setText(cHeard, row.lastHeard ? journal::timeText(*row.lastHeard) : QString());
    item->setText(cCalls, QString::number(row.callsToday));
    item->setText(cPictures, QString::number(row.picturesToday));
    item->setText(cUnseen, QString::number(row.unseen));
    // How a watched unit stands; a silent one in red, with since when.
    const auto state = station.supervisor().stateOf(row.number);
    QString word;
    if (state) {
        using S = watch::Supervisor::State;
        word = state->state == S::Checking ? QStringLiteral("проверка")
               : state->state == S::Silent
                   ? QStringLiteral("молчит с ") + state->since.toString(QStringLiteral("dd.MM hh:mm"))
                   : QStringLiteral("на связи");
    }
    item->setText(cState, word);
    // The whole story, with the day's year and the seconds, in its tool tip.
    item->setToolTip(cState, state ? state->text : QString());
    item->setForeground(cState, state && state->state == watch::Supervisor::State::Silent ? QBrush(Qt::red) : QBrush());
    item->setToolTip(cName, row.known() ? station.book().units().value(row.unit).comment : QString());
    const QPixmap thumb = thumbnail(row.newestPicture);
    item->setIcon(cThumb, thumb.isNull() ? QIcon() : QIcon(thumb));
    item->setToolTip(cThumb, plat::fromCp1251(row.newestPicture));
}

void TForm6::showStation() {
    QStringList parts;
    if (const QStringList faults = station.supervisor().faults(); !faults.isEmpty())
        parts.append(QStringLiteral("Станция: ") + faults.join(QStringLiteral(", ")));
    if (const QString forecast = station.supervisor().forecast(); !forecast.isEmpty()) parts.append(forecast);
    ui->Label2->setText(parts.join(QStringLiteral(". ")));
    ui->Label2->setStyleSheet(station.supervisor().faults().isEmpty() ? QString() : QStringLiteral("color: red"));
}

QPixmap TForm6::thumbnail(const QByteArray& name) {
    if (name.isEmpty()) return {};
    if (const auto it = thumbs_.constFind(name); it != thumbs_.constEnd()) return *it;
    // Decoded small, at an eighth or so of its size; a file that is missing or gives no
    // picture shows none.
    QPixmap thumb;
    QFile f(nativePath(name + ".jpg"));
    if (f.open(QIODevice::ReadOnly)) {
        const QImage small = plat::decodeJpeg(f.readAll(), nullptr, kThumb);
        if (!small.isNull())
            thumb = QPixmap::fromImage(small.scaled(kThumb, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    thumbs_.insert(name, thumb);
    return thumb;
}

int TForm6::chosen() const {
    const int r = ui->ListView1->indexOfTopLevelItem(ui->ListView1->currentItem());
    return r >= 0 && r < int(board_.rows.size()) ? r : -1;
}

void TForm6::choose(int row) {
    if (row < 0 || row >= int(board_.rows.size())) return;
    ui->ListView1->setCurrentItem(ui->ListView1->topLevelItem(row));
}

void TForm6::showChosen() {
    const int r = chosen();
    const bool known = r >= 0 && board_.rows[std::size_t(r)].known();
    ui->Button2->setEnabled(known);
    ui->Button3->setEnabled(known);
    ui->Button4->setEnabled(r >= 0 && !known);
    ui->Button5->setEnabled(known);
    ui->Button6->setEnabled(r >= 0);
}

void TForm6::say(const QString& text) {
    ui->Label1->setText(text);
    ui->Label1->setToolTip(text);
}

void TForm6::Button1Click() {
    say({});
    form7->edit({}, [this](const watch::Unit& unit) { return station.addUnit(unit); });
}

int TForm6::chosenUnit() {
    const int r = chosen();
    if (r >= 0 && board_.rows[std::size_t(r)].known()) {
        say({});
        return board_.rows[std::size_t(r)].unit;
    }
    say(QStringLiteral("Выберите объект книги"));
    return -1;
}

void TForm6::Button2Click() {
    const int r = chosen();
    if (r >= 0 && !board_.rows[std::size_t(r)].known()) return Button4Click();
    const int unit = chosenUnit();
    if (unit < 0) return;
    const watch::Unit was = station.book().units().value(unit);
    form7->edit(
        was, [this, unit](const watch::Unit& now) { return station.changeUnit(unit, now); },
        station.isSettingsUnit(was.number));
}

void TForm6::Button3Click() {
    const int unit = chosenUnit();
    if (unit < 0) return;
    const watch::Unit was = station.book().units().value(unit);
    if (const QString why = station.kept(unit); !why.isEmpty()) {
        station.sys().ui.message(windowTitle(), why);
        return;
    }
    if (!station.sys().ui.ask(windowTitle(), QStringLiteral("Удалить объект «%1» (%2) из книги? Его снимки "
                                                            "остаются в архиве.")
                                                 .arg(was.name, plat::fromCp1251(was.number))))
        return;
    if (const QString why = station.removeUnit(unit); !why.isEmpty()) station.sys().ui.message(windowTitle(), why);
}

void TForm6::Button4Click() {
    const int r = chosen();
    if (r < 0 || board_.rows[std::size_t(r)].known()) {
        say(QStringLiteral("Выберите строку «%1»").arg(unknownName));
        return;
    }
    say({});
    watch::Unit unit;
    unit.number = board_.rows[std::size_t(r)].number;
    form7->edit(unit, [this](const watch::Unit& typed) { return station.addUnit(typed); });
}

void TForm6::Button5Click() {
    const int unit = chosenUnit();
    if (unit < 0) return;
    // A copy: the exchange handles the window's messages, and the book may change before it
    // returns.
    const QByteArray number = station.book().units().value(unit).number;
    say(station.operations().snapshot(number));
}

void TForm6::Button6Click() {
    const int r = chosen();
    if (r < 0) return;
    const watch::BoardRow& row = board_.rows[std::size_t(r)];
    station.operations().openArchive(row.filter(), row.newestEvent);
}

void TForm6::Button7Click() {
    say({});
    station.allSeen();
}

bool TForm6::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int r = chosen();
        switch (key->key()) {
        case Qt::Key_Up: choose(r > 0 ? r - 1 : 0); return true;
        case Qt::Key_Down: choose(r < 0 ? 0 : r + 1); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: handle([&] { Button6Click(); }); return true;
        case Qt::Key_Escape: close(); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm6::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
