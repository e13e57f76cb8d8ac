#include "watch/tform6.h"

#include "ui_tform6.h"

TForm6::TForm6(QWidget* owner) : QWidget(owner), ui(std::make_unique<Ui::TForm6>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
}

TForm6::~TForm6() = default;
