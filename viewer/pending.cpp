// Placeholder bodies until the archive viewer is built.
#include "app/tform1.h"
void TForm1::FormCreate() {}
void TForm1::updimage(int) {}
void TForm1::updimage1(int) {}
void TForm1::Button5Click() {}
void TForm1::Button6Click() {}
void TForm1::Button7Click() {}
void TForm1::Button8Click() {}
