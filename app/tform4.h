#pragma once
// The port dialog: lists the ports that can be opened now and preselects the current one.
#include "platform/toolkit.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TForm4;
}
class TForm1;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(TForm1& main, QWidget* parent = nullptr);
    ~TForm4() override;

    void FormActivate();
    void Button1Click();
    void Button2Click();

    TForm1& form1;
    std::unique_ptr<Ui::TForm4> ui;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override { done(plat::mrCancel); }  // Escape: the same as Отмена
};
