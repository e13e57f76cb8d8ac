// The phone-number dialog: edits one row of the report phone list, handed over through the
// settings dialog's edtel and edlev.
#include "config/tform3.h"
#include "app/tform1.h"
#include "config/dialnumber.h"
#include "config/oneline.h"
#include "config/tform2.h"
#include "ui_tform3.h"

#include <QKeyEvent>
#include <QShowEvent>

#include <algorithm>

TForm3::TForm3(TForm2& settings, QWidget* parent)
    : QDialog(parent), form2(settings), ui(std::make_unique<Ui::TForm3>()) {
    ui->setupUi(this);
    move(192, 103);
    if (ui->Comb->count() == 0) ui->Comb->addItems({"0", "1", "2", "3"});
    // Typed characters go through the key filter; the length cap set at each opening also
    // holds for text that arrives by other ways (a drop, the context menu's paste).
    ui->Edit1->installEventFilter(this);
    ui->Edit1->setValidator(new OneLineValidator(ui->Edit1));
    connect(ui->Button1, &QPushButton::clicked, this, [this] { form2.form1.handle([this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { form2.form1.handle([this] { Button2Click(); }); });
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) form2.form1.handle([this] { FormActivate(); });
}

void TForm3::reject() { done(plat::mrCancel); }  // Escape and the close box

void TForm3::FormActivate() {
    const int lev = form2.edlev;
    ui->Comb->setCurrentIndex(lev >= 0 && lev < ui->Comb->count() ? lev : -1);
    // A longer number from the list file is shown and handed back whole: the cap never cuts
    // what the row already holds.
    ui->Edit1->setMaxLength(std::max(kDialMax, int(form2.edtel.size())));
    ui->Edit1->setText(form2.edtel);
    ui->Edit1->setFocus();
    ui->Button1->setDefault(true);
}

void TForm3::Button1Click() {
    form2.edtel = ui->Edit1->text();
    form2.edlev = pickedEntry(*ui->Comb);  // -1 when no level is picked
    done(plat::mrOk);
}

void TForm3::Button2Click() { done(plat::mrCancel); }

bool TForm3::Edit1KeyPress(QChar key) const {
    if (key == QChar(8)) return true;  // backspace always
    // Up to 15 characters a further one may come, so the number grows to 16 and no further
    // (typing over a selection counts the same way).
    return dialChar(key) && ui->Edit1->text().size() <= kDialMax - 1;
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui->Edit1 || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Keys that type no character pass: Enter and Escape belong to the dialog (the default
    // button and Отмена), Tab moves the focus, Delete only shortens the text.
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete: return false;
    default: break;
    }
    // Pasting by keyboard would bypass the character filter.
    if (key->matches(QKeySequence::Paste)) return true;
    const QString text = key->text();
    if (text.isEmpty()) return false;  // cursor keys, Delete: no character reaches the field
    return text.size() != 1 || !Edit1KeyPress(text[0]);
}
