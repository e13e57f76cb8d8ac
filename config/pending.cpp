// Placeholder bodies until the settings dialogs and the transfer are built.
#include "app/tform1.h"
#include "config/tform2.h"
#include "config/tform3.h"
#include "ui_tform2.h"
#include "ui_tform3.h"
void TForm1::Button1Click() {}
TForm2::TForm2(TForm1& m, QWidget* p) : QDialog(p), form1(m), ui(std::make_unique<Ui::TForm2>()) { ui->setupUi(this); }
TForm2::~TForm2() = default;
void TForm2::showEvent(QShowEvent* e) { QDialog::showEvent(e); }
void TForm2::reject() { done(2); }
TForm3::TForm3(TForm2& f, QWidget* p) : QDialog(p), form2(f), ui(std::make_unique<Ui::TForm3>()) { ui->setupUi(this); }
TForm3::~TForm3() = default;
void TForm3::showEvent(QShowEvent* e) { QDialog::showEvent(e); }
void TForm3::reject() { done(2); }
bool TForm3::eventFilter(QObject* o, QEvent* e) { return QDialog::eventFilter(o, e); }
