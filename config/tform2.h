#pragma once
// The settings dialog: holds the unit's settings record, loads it from u.txt, t1.txt and
// t2.txt at start, saves it on the closing buttons that keep it, and closes with 33, 34, 35,
// 36 or 2.
#include "platform/stringlist.h"

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui { class TForm2; }
class TForm1;
class TForm3;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm1& main, QWidget* parent = nullptr);
    ~TForm2() override;
    void attach(TForm3* phoneDialog) { form3 = phoneDialog; }

    void FormCreate();
    void FormActivate();
    void sohranit();
    void updt1();

    void Button2Click();   // Запомнить: 33
    void Button1Click();   // Удал. запись: 34
    void BtpryamClick();   // Прямая зап.: 35
    void Button4Click();   // Прямое чтен.: 36
    void Button3Click();   // Отмена: 2
    void Rbgprs1Click();
    void Rbgprs2Click();
    void CbsimClick();
    void ListView1DblClick();

    TForm1& form1;
    TForm3* form3 = nullptr;
    std::unique_ptr<Ui::TForm2> ui;

    plat::StringList ListBox1;  // lines of u.txt
    plat::StringList ListBox2;  // lines of t1.txt
    plat::StringList ListBox3;  // lines of t2.txt (also shown in the small visible list box)

    QString oper, sim, razr;
    int guard = 0;
    QString edtel;
    int edlev = 0;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
};
