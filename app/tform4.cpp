#include "app/tform4.h"
#include "app/tform1.h"
#include "ui_tform4.h"

#include <QPushButton>

TForm4::TForm4(TForm1& main, QWidget* parent) : QDialog(parent), form1(main), ui(std::make_unique<Ui::TForm4>()) {
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Выбор порта"));
    // Fixed border, stays on top, no title-bar buttons: it is left with OK or Отмена. Setting the
    // flags keeps the owner; a later setParent would drop them.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(305, 139);
    move(192, 107);
    ui->Button1->setDefault(true);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { form1.handle([this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { form1.handle([this] { Button2Click(); }); });
}

TForm4::~TForm4() = default;

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form1.handle([this] { FormActivate(); });
}

void TForm4::FormActivate() {
    ui->ComboBox1->clear();
    ui->ComboBox1->setCurrentIndex(-1);
    ui->ComboBox1->setEditText(QString());
    QStringList names;
    for (int n = 1; n <= plat::kComPorts; ++n) names << QStringLiteral("COM%1").arg(n);
    names << form1.sys.ports.extraPorts();
    int selected = -1;
    // USB devices are listed by their stable names: the current port is found under its own.
    const QString current = form1.sys.ports.stableName(form1.portname);
    for (const QString& name : names) {
        if (!form1.sys.ports.probe(name)) continue;  // absent or held by anyone, this program included
        ui->ComboBox1->addItem(name);
        if (name == current) selected = ui->ComboBox1->count() - 1;
    }
    // Adding to an empty box selects its first entry; only the current port is preselected.
    ui->ComboBox1->setCurrentIndex(selected);
}

void TForm4::Button1Click() {
    // The selected entry's text; what was typed into the edit field is not read. With nothing
    // selected (the port this program holds is never listed) the remembered port stays: OK is
    // the default button, and Enter must not leave the program without a port name.
    const int i = ui->ComboBox1->currentIndex();
    if (i >= 0) {
        form1.portname = ui->ComboBox1->itemText(i);
        form1.setPanel(0, form1.portname);
    }
    done(plat::mrOk);
}

void TForm4::Button2Click() { done(plat::mrCancel); }
