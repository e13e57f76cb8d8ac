// The settings dialog: the unit's settings record in its controls and in three working lists
// (the line images of u.txt, t1.txt and t2.txt), the operator presets, the SIM choice, the
// row edit of the report phone list, and the closing buttons with their results.
#include "config/tform2.h"
#include "app/tform1.h"
#include "config/dialnumber.h"
#include "config/oneline.h"
#include "config/tform3.h"
#include "platform/cp1251.h"
#include "platform/toolkit.h"
#include "ui_tform2.h"

#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace {

constexpr int kRows = 4;  // the phone list always has four rows

// The bytes to put into line n for a widget's text. A text the operator left as it was keeps
// the exact bytes it was loaded from, so that even a byte the code page cannot show in a
// widget comes back unchanged at the next save.
QByteArray keepBytes(const plat::StringList& list, int n, const QString& text) {
    if (n >= 0 && n < list.count() && plat::fromCp1251(list.lines()[n]) == text) return list.lines()[n];
    return plat::toCp1251(text);
}

QString lineText(const plat::StringList& list, int n) { return plat::fromCp1251(list.at(n)); }

// The report view's grid lines: every cell is ruled off along its right and bottom edges in
// the button-face colour.
class GridLines final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QRect r = option.rect;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Button));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

// List entries of one fixed height.
class FixedRows final : public QStyledItemDelegate {
public:
    FixedRows(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

private:
    int height_;
};

}  // namespace

int pickedEntry(const QComboBox& box) {
    return box.findText(box.currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

TForm2::TForm2(TForm1& main, QWidget* parent) : QDialog(parent), form1(main), ui(std::make_unique<Ui::TForm2>()) {
    ui->setupUi(this);
    defaultEmail = ui->Edit5->text();

    // The record stores only the resolution's position and the list view always has four
    // rows of two columns; a layout that does not bring them still gets them.
    if (ui->ComboBox1->count() == 0)
        ui->ComboBox1->addItems({QStringLiteral("160х128"), QStringLiteral("320х240"), QStringLiteral("640x480")});
    if (ui->ListView1->columnCount() < 2) {
        ui->ListView1->setColumnCount(2);
        ui->ListView1->setHeaderLabels({QStringLiteral("Номер телефона"), QStringLiteral("Уровень")});
    }
    while (ui->ListView1->topLevelItemCount() < kRows) new QTreeWidgetItem(ui->ListView1);
    ui->Button2->setDefault(true);  // Enter is "Запомнить"
    for (QLineEdit* edit : {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5})
        edit->setValidator(new OneLineValidator(edit));
    // The layout file cannot hold per-column widths.
    ui->ListView1->setColumnWidth(0, 180);
    ui->ListView1->setColumnWidth(1, 60);
    ui->ListView1->setItemDelegate(new GridLines(ui->ListView1));
    ui->ComboBox1->setItemDelegate(new FixedRows(16, ui->ComboBox1));  // the resolution list's item height
    move(149, 64);

    auto bind = [this](QPushButton* button, void (TForm2::*method)()) {
        connect(button, &QPushButton::clicked, this, [this, method] { form1.handle([&] { (this->*method)(); }); });
    };
    bind(ui->Button2, &TForm2::Button2Click);
    bind(ui->Button1, &TForm2::Button1Click);
    bind(ui->Btpryam, &TForm2::BtpryamClick);
    bind(ui->Button4, &TForm2::Button4Click);
    bind(ui->Button3, &TForm2::Button3Click);
    // A radio button acts only when it becomes selected, by the operator or by the program.
    connect(ui->Rbgprs1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) form1.handle([this] { Rbgprs1Click(); });
    });
    connect(ui->Rbgprs2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) form1.handle([this] { Rbgprs2Click(); });
    });
    // The SIM choice acts on every change of its tick, the program's own included.
    connect(ui->Cbsim, &QCheckBox::toggled, this, [this] { form1.handle([this] { CbsimClick(); }); });
    connect(ui->ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this] { form1.handle([this] { ListView1DblClick(); }); });

    form1.handle([this] { FormCreate(); });
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A failing refresh is shown; the dialog opens all the same.
    if (!event->spontaneous()) form1.handle([this] { FormActivate(); });
}

void TForm2::reject() { done(plat::mrCancel); }  // Escape and the close box

TForm2::Ustanovki TForm2::ustanovki() const {
    return {
        ui->ComboBox1->currentIndex(), ui->Edit2->text(),     ui->Edit3->text(), ui->Edit4->text(), ui->Edit5->text(),
        ui->Rbgprs2->isChecked(),      ui->Cbsim->isChecked()};
}

void TForm2::FormCreate() {
    ui->ComboBox1->setCurrentIndex(0);
    // Runs the preset behaviour: the GPRS fields are empty and disabled also where the load
    // below stops early.
    ui->Rbgprs1->setChecked(true);

    ListBox1.load(QString::fromLatin1(kUFile));
    uLoaded = true;
    showStored();
    form1.telobj = keepBytes(ListBox1, uTelobj, ui->Edit1->text());
    form1.showtelobj();

    ListBox2.load(QString::fromLatin1(kT1File));
    t1Loaded = true;
    ListBox3.load(QString::fromLatin1(kT2File));
    t2Loaded = true;
    showLevels();
}

void TForm2::showStored() {
    ui->Edit1->setText(lineText(ListBox1, uTelobj));
    // An access point "1" marks a file that was never configured: only the phone number is
    // taken, the rest shows the layout's values.
    if (ListBox1.at(uApn) == "1") {
        selectOperator(false);
        for (QLineEdit* edit : {ui->Edit2, ui->Edit3, ui->Edit4}) edit->clear();
        ui->Edit5->setText(defaultEmail);
        ui->Cbsim->setChecked(false);
        return;
    }
    ui->Edit2->setText(lineText(ListBox1, uApn));
    ui->Edit3->setText(lineText(ListBox1, uUser));
    ui->Edit4->setText(lineText(ListBox1, uPass));
    ui->Edit5->setText(lineText(ListBox1, uEmail));
    oper = lineText(ListBox1, uOper);
    sim = lineText(ListBox1, uSim);
    // With the preset the fields keep the stored texts, disabled, and are saved as they are.
    selectOperator(oper != QLatin1String("1"));
    ui->Cbsim->setChecked(sim == QLatin1String("1"));  // the SIM handler runs on a change
}

void TForm2::selectOperator(bool other) {
    // Quietly: the preset's handler would empty the fields. The enabled state is set here
    // because a button that is already selected runs nothing.
    const QSignalBlocker quiet1(ui->Rbgprs1), quiet2(ui->Rbgprs2);
    (other ? ui->Rbgprs2 : ui->Rbgprs1)->setChecked(true);
    enableGprs(other);
}

void TForm2::FormActivate() {
    // Every opening shows what is stored, whatever was left in the controls by a closing that
    // did not save.
    for (int row = 0; row < kRows; ++row) ui->ListView1->topLevelItem(row)->setText(0, lineText(ListBox2, row));
    for (int row = 0; row < kRows; ++row) ui->ListView1->topLevelItem(row)->setText(1, lineText(ListBox3, row));
    passRows();
    showStored();
    // The resolution picker always shows the last saved choice; a stored number outside the
    // entries leaves nothing picked.
    const int n = plat::strToIntDef(lineText(ListBox1, uRazr), 1) - 1;
    ui->ComboBox1->setCurrentIndex(n >= 0 && n < ui->ComboBox1->count() ? n : -1);
    ui->Edit1->setFocus();
}

void TForm2::sohranit() {
    // The working lists hold what is stored: each takes its new lines only once its file is
    // written (or kept on purpose, see saveList), so that a save that fails part way leaves
    // nothing unsaved in them for the next opening to show.
    plat::StringList u = ListBox1, t1 = ListBox2, t2 = ListBox3;
    oper = sim = razr = QStringLiteral("1");
    QLineEdit* const edits[] = {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5};
    for (int n = uTelobj; n <= uEmail; ++n) u.put(n, keepBytes(u, n, edits[n]->text()));
    if (ui->Rbgprs2->isChecked()) oper = QStringLiteral("2");
    if (!ui->Cbsim->isChecked()) sim = QStringLiteral("2");
    const int picked = pickedEntry(*ui->ComboBox1);
    razr = QString::number(picked + 1);  // typed text that names no entry gives "0"
    // The transfer that follows this save reads the position from the box itself.
    if (picked != ui->ComboBox1->currentIndex()) {
        const QString typed = ui->ComboBox1->currentText();
        ui->ComboBox1->setCurrentIndex(picked);
        ui->ComboBox1->setEditText(typed);  // picking no entry would empty the field
    }
    // Lines 5 and 6 are never put: they reach the file as they were loaded.
    u.put(uOper, oper.toLatin1());
    u.put(uSim, sim.toLatin1());
    u.put(uRazr, razr.toLatin1());
    putRows(t1, t2);

    saveList(u, uLoaded, kUFile);
    ListBox1 = std::move(u);
    saveList(t1, t1Loaded, kT1File);
    ListBox2 = std::move(t1);
    saveList(t2, t2Loaded, kT2File);
    ListBox3 = std::move(t2);
    updt1();  // the main window takes the saved phone list
}

void TForm2::saveList(const plat::StringList& list, bool& loaded, const char* name) {
    const QString file = QString::fromLatin1(name);
    // A file that is not there is created from the working list, and from then on holds it.
    // One that is there but was never read (it could not be opened, or the load stopped before
    // it) keeps what it holds: the list would replace lines nobody has seen. The operator hears
    // of it, and the rest of the save goes on.
    if (loaded || !QFileInfo::exists(file)) {
        list.save(file);
        loaded = true;
        return;
    }
    form1.sys.ui.message(TForm1::kName, QStringLiteral("Файл %1 не прочитан при запуске и не записан").arg(file));
}

void TForm2::updt1() {
    putRows(ListBox2, ListBox3);
    passRows();
    showLevels();
}

void TForm2::putRows(plat::StringList& t1, plat::StringList& t2) const {
    for (int row = 0; row < kRows; ++row) {
        const QTreeWidgetItem* item = ui->ListView1->topLevelItem(row);
        t1.put(row, keepBytes(t1, row, item->text(0)));
        t2.put(row, keepBytes(t2, row, item->text(1)));
    }
}

void TForm2::passRows() {
    for (int row = 0; row < kRows; ++row) form1.tel[size_t(row)] = ListBox2.at(row);
    QByteArray levs;
    for (int row = 0; row < kRows; ++row) levs += ListBox3.at(row);
    form1.levs = levs;
}

void TForm2::showLevels() {
    ui->ListBox3->clear();
    for (const QByteArray& line : ListBox3.lines()) ui->ListBox3->addItem(plat::fromCp1251(line));
}

bool TForm2::numberAccepted(bool required) {
    const QString number = ui->Edit1->text();
    QString refusal;
    if (number.isEmpty()) {
        if (!required) return true;
        refusal = QStringLiteral("Введите номер телефона объекта");
    } else if (const QString fault = dialFault(number); !fault.isEmpty()) {
        refusal = QStringLiteral("Номер телефона объекта «%1» %2. %3").arg(number, fault, dialRule());
    } else {
        return true;
    }
    form1.sys.ui.message(TForm1::kName, refusal);
    return false;
}

void TForm2::closeChecked(int result) {
    if (!numberAccepted(true)) return;
    const QByteArray before = form1.telobj;
    form1.telobj = keepBytes(ListBox1, uTelobj, ui->Edit1->text());
    // A save that fails before u.txt is written leaves the main window's number as it was.
    auto unsaved = qScopeGuard([&] {
        if (ListBox1.lines().value(uTelobj) != form1.telobj) form1.telobj = before;
    });
    sohranit();  // a failing save ends here: no result, the dialog stays open
    unsaved.dismiss();
    done(result);
}

void TForm2::Button2Click() { closeChecked(mrRemember); }
void TForm2::Button1Click() { closeChecked(mrRemoteWrite); }

void TForm2::BtpryamClick() {
    if (!numberAccepted(false)) return;  // a cable link needs no number, but a bad one is not saved
    sohranit();
    done(mrDirectWrite);
}

void TForm2::Button4Click() { done(mrDirectRead); }
void TForm2::Button3Click() { done(plat::mrCancel); }

void TForm2::enableGprs(bool on) {
    for (QWidget* w : {ui->Edit2, ui->Edit3, ui->Edit4}) w->setEnabled(on);
    for (QWidget* w : {ui->Label2, ui->Label3, ui->Label4}) w->setEnabled(on);
}

void TForm2::Rbgprs1Click() {
    enableGprs(false);
    ui->Edit2->clear();
    ui->Edit3->clear();
    ui->Edit4->clear();
}

void TForm2::Rbgprs2Click() {
    enableGprs(true);
    // The values last loaded or saved, not what was typed before the preset was chosen.
    ui->Edit2->setText(lineText(ListBox1, uApn));
    ui->Edit3->setText(lineText(ListBox1, uUser));
    ui->Edit4->setText(lineText(ListBox1, uPass));
}

void TForm2::CbsimClick() {
    if (guard) return;
    guard = 1;
    const auto release = qScopeGuard([this] { guard = 0; });
    // The e-mail and the phone list keep their contents and are saved as they are.
    const bool own = !ui->Cbsim->isChecked();
    ui->Label5->setEnabled(own);
    ui->Edit5->setEnabled(own);
    ui->ListView1->setEnabled(own);
}

void TForm2::ListView1DblClick() {
    const QList<QTreeWidgetItem*> selected = ui->ListView1->selectedItems();
    if (selected.isEmpty() || guard || !form3) return;
    guard = 1;
    const auto release = qScopeGuard([this] { guard = 0; });
    QTreeWidgetItem* row = selected.first();
    edtel = row->text(0);
    edlev = plat::strToInt(row->text(1));  // a level that is no number ends here, TForm3 unopened
    if (form3->exec() != plat::mrOk) return;
    // The row reaches the working lists and the main window with the next save; a closing
    // that does not save leaves them as they were.
    row->setText(0, edtel);
    row->setText(1, QString::number(edlev));
}
