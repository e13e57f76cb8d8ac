// Placeholder bodies until call control, the reception and filing are built.
#include "app/tform1.h"
void TForm1::Button3Click() {}
void TForm1::Button4Click() {}
void TForm1::BtOtmenaClick() { otmena = 1; }
void TForm1::Button2Click() { otmena = 1; close(); }
void TForm1::Timer1Timer() {}
void TForm1::CheckBox1Click() {}
void TForm1::readbuf() {}
