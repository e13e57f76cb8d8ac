#pragma once
// The phone-number dialog: edits one row of the report phone list.
#include <QDialog>
#include <memory>

namespace Ui {
class TForm3;
}
class TForm2;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(TForm2& settings, QWidget* parent = nullptr);
    ~TForm3() override;

    void FormActivate();
    void Button1Click();
    void Button2Click();
    // The key filter of Edit1: true when the character may reach the field.
    bool Edit1KeyPress(QChar key) const;

    TForm2& form2;
    std::unique_ptr<Ui::TForm3> ui;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
