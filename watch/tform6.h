#pragma once
// "Объекты": the board of the units of the book, how each stands and its pictures.
#include <QWidget>

#include <memory>

namespace Ui {
class TForm6;
}

class TForm6 : public QWidget {
    Q_OBJECT
public:
    explicit TForm6(QWidget* owner);
    ~TForm6() override;

    std::unique_ptr<Ui::TForm6> ui;
};
