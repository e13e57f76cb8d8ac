#include "viewer/tform5.h"

#include "acquisition/archive.h"
#include "app/tform1.h"
#include "platform/cp1251.h"
#include "platform/picturepane.h"
#include "platform/stringlist.h"
#include "viewer/eventline.h"
#include "viewer/export.h"
#include "viewer/wholepicture.h"
#include "ui_tform5.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTextCharFormat>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kDateFormat = QStringLiteral("dd.MM.yyyy");

// An event shows at most this many of its pictures side by side; its own line has them all.
constexpr int kShownPictures = 12;

// More pictures than one transfer's buffer can hold: a count beyond it is a damaged line.
constexpr int kMaxNames = 1000;

// The pictures an event line names; the empty names of a line shorter than its count are
// none.
QList<QByteArray> namesOf(const QByteArray& line) {
    QList<QByteArray> names = viewer::parseEventLine(line, kMaxNames).names;
    names.removeAll(QByteArray());
    return names;
}

}  // namespace

TForm5::TForm5(TForm1& main, QWidget* owner)
    : QWidget(owner), ui(std::make_unique<Ui::TForm5>()), form1(main), callers(main.callers) {
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    // The names of the months and the days as the rest of the window speaks; picture names
    // hold the years 2000 to 2099 only.
    ui->Calendar1->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    ui->Calendar1->setFirstDayOfWeek(Qt::Monday);
    ui->Calendar1->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
    ui->ListView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->ListView1->header()->setStretchLastSection(true);
    ui->ListView1->installEventFilter(this);
    new QHBoxLayout(ui->Pictures);  // owned by the widget it lays out

    connect(ui->Edit1, &QLineEdit::returnPressed, this, [this] { form1.handle([&] { Edit1Enter(); }); });
    connect(ui->Calendar1, &QCalendarWidget::selectionChanged, this,
            [this] { form1.handle([&] { showDay(ui->Calendar1->selectedDate()); }); });
    connect(ui->ListView1, &QTreeWidget::currentItemChanged, this,
            [this] { form1.handle([&] { showPictures(chosen()); }); });
    connect(ui->ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { form1.handle([&] { showInMain(); }); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { form1.handle([&] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { form1.handle([&] { Button2Click(); }); });
    connect(ui->ComboBox1, &QComboBox::currentIndexChanged, this, [this](int row) {
        if (row >= 0 && row < int(filters_.size())) form1.handle([&] { setFilter(filters_[std::size_t(row)]); });
    });
    // Pictures filed while the window is open reach it at once, and who they came from when
    // their call ends and its line is written; a hidden window looks when it opens again.
    const auto follow = [this] {
        if (isVisible()) form1.handle([&] { refresh(); });
    };
    connect(&form1, &TForm1::filed, this, follow);
    connect(&form1, &TForm1::callEnded, this, follow);
    connect(form1.watch.get(), &watch::Watch::bookChanged, this, [this] { form1.handle([&] { refreshUnits(); }); });
    refreshUnits();
}

TForm5::~TForm5() = default;

void TForm5::open() {
    // The event the main window shows (the oldest of a page that shows several), chosen on its
    // day, so that the operator starts where he is.
    open(watch::Filter::all(), form1.shownEvents().first);
}

void TForm5::open(const watch::Filter& filter, int event) {
    refreshUnits();  // the book as it is now
    apply(filter);
    const viewer::DayIndex::Keep kept = keep();
    if (event < 0 || event >= form1.ListBox2.count() || (kept && !kept(event))) event = index.newest(kept);
    std::optional<QDate> start;
    if (event >= 0) {
        if (const auto time = viewer::eventTime(form1.ListBox2.view(event))) start = time->date();
    }
    if (!start) {
        if (const std::vector<QDate> days = index.days(kept); !days.empty()) start = days.back();
    }
    if (start) showDay(*start, event);
    else showNone();
    show();
    raise();
    activateWindow();
    ui->Edit1->setFocus();
    ui->Edit1->selectAll();
}

void TForm5::refreshUnits() {
    const watch::Book& book = form1.watch->book();
    {
        const QSignalBlocker quiet(ui->ComboBox1);
        ui->ComboBox1->clear();
        filters_.clear();
        ui->ComboBox1->addItem(QStringLiteral("Все объекты"));
        filters_.push_back(watch::Filter::all());
        for (const watch::Unit& unit : book.units()) {
            ui->ComboBox1->addItem(unit.name);
            ui->ComboBox1->setItemData(ui->ComboBox1->count() - 1, plat::fromCp1251(unit.number), Qt::ToolTipRole);
            filters_.push_back(watch::Filter::unit(unit.number));
        }
        ui->ComboBox1->addItem(QStringLiteral("Неизвестные номера"));
        filters_.push_back(watch::Filter::unknown());
    }
    // Which numbers are a unit's, and the names the list shows, may have changed too; a
    // hidden window looks when it opens.
    stale_ = true;
    if (isVisible()) setFilter(filter_);
    else choose(filter_);
}

void TForm5::choose(const watch::Filter& filter) {
    // The chosen unit stays chosen while the book holds it; else every unit's pictures show.
    auto row = std::find(filters_.begin(), filters_.end(), filter);
    if (row == filters_.end()) row = filters_.begin();
    filter_ = *row;
    const QSignalBlocker quiet(ui->ComboBox1);
    ui->ComboBox1->setCurrentIndex(int(row - filters_.begin()));
}

void TForm5::apply(const watch::Filter& filter) {
    const watch::Filter before = filter_;
    choose(filter);
    if (filter_ == before && !stale_) {
        refresh();
        return;
    }
    index.update(form1.ListBox2);
    callers.update(form1.ListBox2, form1.calls);
    callersSeen_ = callers.changes();
    keepNumbers();
    markAll();
    stale_ = false;
}

void TForm5::setFilter(const watch::Filter& filter) {
    apply(filter);
    // The day shown, or the nearest one that has the filter's pictures.
    if (!day_.isValid()) return;
    if (const auto found = index.nearest(day_, keep())) showDay(*found, chosen());
    else showNone();
}

void TForm5::keepNumbers() {
    const QList<QByteArray>& numbers = form1.calls.numbers();
    const watch::Book& book = form1.watch->book();
    kept_.resize(std::size_t(numbers.size()));
    for (qsizetype i = 0; i < numbers.size(); ++i) kept_[std::size_t(i)] = book.passes(filter_, numbers[i]);
    // An event no call names is of no unit the book holds.
    keptUnnamed_ = filter_.kind != watch::Filter::Kind::Unit;
}

viewer::DayIndex::Keep TForm5::keep() const {
    if (filter_.kind == watch::Filter::Kind::All) return {};
    return [this](int event) {
        const int n = callers.numberOf(event);
        return n < 0 ? keptUnnamed_ : n < int(kept_.size()) && kept_[std::size_t(n)];
    };
}

void TForm5::refresh() {
    const viewer::DayIndex::Change change = index.update(form1.ListBox2);
    callers.update(form1.ListBox2, form1.calls);  // nothing to do when the main window has looked
    const bool named = std::exchange(callersSeen_, callers.changes()) != callers.changes();
    if (std::size_t(form1.calls.numbers().size()) != kept_.size()) keepNumbers();
    if (change.rebuilt || (named && filter_.kind != watch::Filter::Kind::All)) markAll();
    else mark(change.added);
    // The day shown gets the events filed on it since, and the callers of its events as their
    // lines are written; the chosen one stays chosen.
    if (day_.isValid() && (change.rebuilt || named)) showDay(day_, chosen());
}

void TForm5::markAll() {
    ui->Calendar1->setDateTextFormat(QDate(), QTextCharFormat());  // every mark goes
    mark(index.days(keep()));
}

void TForm5::mark(const std::vector<QDate>& days) {
    QTextCharFormat marked;
    marked.setFontWeight(QFont::Bold);
    marked.setBackground(QColor(0xC8, 0xE6, 0xC9));
    for (const QDate& d : days) ui->Calendar1->setDateTextFormat(d, marked);
}

void TForm5::showNone() {
    rows_.clear();
    ui->ListView1->clear();
    showPictures(-1);
    ui->Label1->setText(noPictures());
}

QString TForm5::noPictures() const {
    if (filter_.kind == watch::Filter::Kind::All) return QStringLiteral("В архиве нет снимков");
    return QStringLiteral("В архиве нет снимков: %1").arg(ui->ComboBox1->currentText());
}

void TForm5::Edit1Enter() {
    const QString text = ui->Edit1->text().trimmed();
    // dd.MM.yyyy as asked; a day or a month typed with one digit is read too.
    const QDate wanted = QDate::fromString(text, QStringLiteral("d.M.yyyy"));
    if (!wanted.isValid()) {
        ui->Label1->setText(QStringLiteral("Дата вводится как дд.мм.гггг, например 07.12.2026"));
        ui->Edit1->selectAll();
        return;
    }
    goToDate(wanted);
}

bool TForm5::goToDate(QDate wanted) {
    refresh();
    const auto found = index.nearest(wanted, keep());
    if (!found) {
        ui->Label1->setText(noPictures());
        return false;
    }
    showDay(*found);
    if (*found != wanted)
        ui->Label1->setText(QStringLiteral("За %1 снимков нет; ближайший день со снимками: %2")
                                .arg(wanted.toString(kDateFormat), found->toString(kDateFormat)));
    ui->Edit1->selectAll();
    return true;
}

void TForm5::showDay(QDate day, int event) {
    day_ = day;
    {
        const QSignalBlocker quiet(ui->Calendar1);
        ui->Calendar1->setSelectedDate(day);
    }
    ui->Edit1->setText(day.toString(kDateFormat));
    rows_ = index.events(day, keep());
    const QSignalBlocker quiet(ui->ListView1);
    ui->ListView1->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(rows_.size()));
    for (const int k : rows_) {
        const viewer::EventLine first = viewer::parseEventLine(form1.ListBox2.at(k), 1);
        const auto time = first.names.isEmpty() ? std::nullopt : pictureTime(first.names[0]);
        items.append(new QTreeWidgetItem(QStringList{time ? time->toString(QStringLiteral("hh:mm:ss")) : QString(),
                                                     QString::number(first.count), sourceOf(k)}));
    }
    ui->ListView1->addTopLevelItems(items);  // the list owns them from here
    const auto at = std::find(rows_.begin(), rows_.end(), event);
    const int row = rows_.empty() ? -1 : at == rows_.end() ? 0 : int(at - rows_.begin());
    if (row >= 0) ui->ListView1->setCurrentItem(ui->ListView1->topLevelItem(row));
    ui->Label1->setText(rows_.empty() ? QStringLiteral("За %1 снимков нет").arg(day.toString(kDateFormat))
                                      : QStringLiteral("Событий за день: %1").arg(rows_.size()));
    showPictures(chosen());
}

QString TForm5::sourceOf(int event) const {
    const int line = callers.lineOf(event);
    const auto call = line < 0 ? std::nullopt : form1.calls.read(line);
    return call ? viewer::sourceText(*call, form1.watch->book()) : QString();
}

QString viewer::sourceText(const journal::Call& call, const watch::Book& book) {
    const QString name = book.nameOf(call.number);
    return journal::source(call, name.isEmpty() ? call.unit : name);
}

int TForm5::chosen() const {
    const int row = ui->ListView1->indexOfTopLevelItem(ui->ListView1->currentItem());
    return row >= 0 && row < int(rows_.size()) ? rows_[size_t(row)] : -1;
}

void TForm5::showPictures(int event) {
    // The pictures of the event before, with their panes and captions, go.
    QLayout* strip = ui->Pictures->layout();
    while (QLayoutItem* item = strip->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (event < 0 || event >= form1.ListBox2.count()) return;
    const QList<QByteArray> names = namesOf(form1.ListBox2.at(event));
    for (const QByteArray& stored : names.mid(0, kShownPictures)) {
        auto column = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(column.get());
        layout->setContentsMargins(0, 0, 0, 0);
        auto* pane = new PicturePane;
        pane->setPlacing(PicturePane::Placing::Fit);
        pane->setMinimumSize(40, 30);
        pane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        const QString name = plat::fromCp1251(stored + ".jpg");
        const PicturePane::Fault fault = pane->showFile(nativePath(stored + ".jpg"), name);
        auto* caption = new QLabel(fault == PicturePane::Fault::None
                                       ? name
                                       : name + QStringLiteral(" — ") + PicturePane::faultText(fault));
        caption->setAlignment(Qt::AlignHCenter);
        caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        caption->setToolTip(caption->text());
        layout->addWidget(pane, 1);
        layout->addWidget(caption);
        // A double click opens the picture at its own size, as in the main window.
        connect(pane, &PicturePane::doubleClicked, this, [this, pane] {
            if (pane->fault() == PicturePane::Fault::None)
                (new WholePicture(pane->picture(), pane->name(), pane->file(), form1, this))->show();
        });
        strip->addWidget(column.release());  // the strip owns it from here
    }
    emit form1.shown(names.mid(0, kShownPictures));
    if (names.size() > kShownPictures)
        ui->Label1->setText(
            QStringLiteral("Снимков в событии: %1, показаны первые %2").arg(names.size()).arg(kShownPictures));
}

void TForm5::showInMain() {
    const int event = chosen();
    if (event >= 0) form1.gotoevent(event);
}

void TForm5::Button1Click() {
    const int event = chosen();
    if (event < 0) {
        ui->Label1->setText(QStringLiteral("Событие не выбрано"));
        return;
    }
    save(namesOf(form1.ListBox2.at(event)));
}

void TForm5::Button2Click() {
    QList<QByteArray> names;
    for (const int k : rows_) names += namesOf(form1.ListBox2.at(k));
    if (names.isEmpty()) {
        ui->Label1->setText(QStringLiteral("За этот день снимков нет"));
        return;
    }
    save(names);
}

void TForm5::save(const QList<QByteArray>& names) {
    const QString folder = form1.sys.ui.folder(this, QStringLiteral("Папка для снимков"), form1.exportFolder);
    if (folder.isEmpty()) return;
    form1.exportFolder = folder;
    const viewer::ExportResult done = viewer::exportPictures(names, folder);
    QString text = QStringLiteral("Сохранено снимков: %1 из %2 в %3")
                       .arg(done.saved)
                       .arg(names.size())
                       .arg(QDir::toNativeSeparators(folder));
    if (!done.unread.isEmpty())
        text += QStringLiteral("; нет файла или не читается: ") + done.unread.join(QStringLiteral(", "));
    if (!done.failure.isEmpty()) text += QStringLiteral("; ") + done.failure;
    ui->Label1->setText(text);
    ui->Label1->setToolTip(text);
}

bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the list of events shows the chosen one in the main window.
    if (watched == ui->ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            form1.handle([&] { showInMain(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm5::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
