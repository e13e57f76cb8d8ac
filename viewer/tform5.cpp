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

TForm5::TForm5(TForm1& main, QWidget* owner) : QWidget(owner), ui(std::make_unique<Ui::TForm5>()), form1(main) {
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
    // Pictures filed while the window is open reach it at once; a hidden window looks when
    // it opens again.
    connect(&form1, &TForm1::filed, this, [this] {
        if (isVisible()) form1.handle([&] { refresh(); });
    });
}

TForm5::~TForm5() = default;

void TForm5::open() {
    refresh();
    // The event the main window shows (the oldest of a page that shows several), chosen on its
    // day, so that the operator starts where he is.
    const int shown = form1.shownEvents().first;
    std::optional<QDate> start;
    if (shown >= 0) {
        if (const auto time = viewer::eventTime(form1.ListBox2.view(shown))) start = time->date();
    }
    if (!start && !index.isEmpty()) start = index.days().back();
    if (start) showDay(*start, shown);
    else ui->Label1->setText(QStringLiteral("В архиве нет снимков"));
    show();
    raise();
    activateWindow();
    ui->Edit1->setFocus();
    ui->Edit1->selectAll();
}

void TForm5::refresh() {
    const viewer::DayIndex::Change change = index.update(form1.ListBox2);
    mark(change);
    // The day shown gets the events filed on it since; the chosen one stays chosen.
    if (day_.isValid() && (change.rebuilt || index.events(day_).size() != rows_.size())) showDay(day_, chosen());
}

void TForm5::mark(const viewer::DayIndex::Change& change) {
    QTextCharFormat marked;
    marked.setFontWeight(QFont::Bold);
    marked.setBackground(QColor(0xC8, 0xE6, 0xC9));
    if (change.rebuilt) {
        ui->Calendar1->setDateTextFormat(QDate(), QTextCharFormat());  // every mark goes
        for (const QDate& d : index.days()) ui->Calendar1->setDateTextFormat(d, marked);
        return;
    }
    for (const QDate& d : change.added) ui->Calendar1->setDateTextFormat(d, marked);
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
    const auto found = index.nearest(wanted);
    if (!found) {
        ui->Label1->setText(QStringLiteral("В архиве нет снимков"));
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
    const std::span<const int> events = index.events(day);
    rows_.assign(events.begin(), events.end());
    const QSignalBlocker quiet(ui->ListView1);
    ui->ListView1->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(rows_.size()));
    for (const int k : rows_) {
        const viewer::EventLine first = viewer::parseEventLine(form1.ListBox2.at(k), 1);
        const auto time = first.names.isEmpty() ? std::nullopt : pictureTime(first.names[0]);
        const auto from = first.names.isEmpty() ? std::nullopt : form1.calls.callOf(first.names[0]);
        items.append(new QTreeWidgetItem(QStringList{time ? time->toString(QStringLiteral("hh:mm:ss")) : QString(),
                                                     QString::number(first.count),
                                                     from ? journal::source(*from) : QString()}));
    }
    ui->ListView1->addTopLevelItems(items);  // the list owns them from here
    const auto at = std::find(rows_.begin(), rows_.end(), event);
    const int row = rows_.empty() ? -1 : at == rows_.end() ? 0 : int(at - rows_.begin());
    if (row >= 0) ui->ListView1->setCurrentItem(ui->ListView1->topLevelItem(row));
    ui->Label1->setText(rows_.empty() ? QStringLiteral("За %1 снимков нет").arg(day.toString(kDateFormat))
                                      : QStringLiteral("Событий за день: %1").arg(rows_.size()));
    showPictures(chosen());
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
