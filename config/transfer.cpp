// "Установки": the settings dialog opened from the main window.
#include "app/tform1.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"

void TForm1::Button1Click() {
    if (form2) form2->exec();
    ui->Label7->setText(plat::fromCp1251(telobj));
}
