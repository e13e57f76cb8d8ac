#include "watch/tform7.h"

#include "platform/cp1251.h"
#include "platform/toolkit.h"
#include "ui_tform7.h"

TForm7::TForm7(plat::Ui& desktop, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TForm7>()), desktop_(desktop) {
    ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { plat::guarded(desktop_, [this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm7::~TForm7() = default;

void TForm7::edit(const watch::Unit& unit, Writer write, bool fixedNumber) {
    write_ = std::move(write);
    ui->Edit1->setText(plat::fromCp1251(unit.number));
    ui->Edit1->setReadOnly(fixedNumber);
    ui->Edit1->setToolTip(fixedNumber ? QStringLiteral("Номер объекта из установок меняют в установках")
                                      : QStringLiteral("Номер, с которого объект звонит и по которому его набирают: "
                                                       "цифры, в начале может стоять «+»"));
    ui->Edit2->setText(unit.name);
    ui->Edit3->setText(unit.comment);
    ui->SpinEdit1->setValue(unit.interval);
    ui->CheckBox1->setChecked(unit.check);
    // The first field that wants typing: the name of a unit whose number is given.
    (unit.number.isEmpty() ? ui->Edit1 : ui->Edit2)->setFocus();
    open();
}

watch::Unit TForm7::typed() const {
    return {plat::toCp1251(ui->Edit1->text().trimmed()), ui->Edit2->text().trimmed(), ui->Edit3->text().trimmed(),
            ui->SpinEdit1->value(), ui->CheckBox1->isChecked()};
}

void TForm7::Button1Click() {
    const QString why = write_ ? write_(typed()) : QString();
    if (why.isEmpty()) {
        accept();
        return;
    }
    desktop_.message(windowTitle(), why);
}
