#pragma once
// The five windows, created in the program's start-up order and living until it ends.
#include "app/aboutbox.h"
#include "app/tform1.h"
#include "app/tform4.h"
#include "config/tform2.h"
#include "config/tform3.h"

struct Program {
    explicit Program(plat::Platform& sys)
        : form1(sys), form2(form1), form4(form1), about(), form3(form2) {
        form1.attach(&form2, &form4, &about);
        form2.attach(&form3);
    }
    TForm1 form1;
    TForm2 form2;
    TForm4 form4;
    TAboutBox about;
    TForm3 form3;
};
