#pragma once
// The six windows, created in the program's start-up order and living until it ends.
#include "app/aboutbox.h"
#include "app/tform1.h"
#include "app/tform4.h"
#include "config/tform2.h"
#include "config/tform3.h"
#include "viewer/tform5.h"

struct Program {
    // The dialogs are windows of their own, owned by the window that opens them, so that the
    // window manager keeps each one over its owner instead of behind it or as a task of its own.
    // The members go in the reverse order of their declaration, every dialog before its owner,
    // and a dialog leaves its owner's children as it goes: nothing is deleted twice.
    explicit Program(plat::Platform& sys)
        : form1(sys), form2(form1, &form1), form4(form1, &form1), about(&form1), form3(form2, &form2),
          form5(form1, &form1) {
        form1.attach(&form2, &form4, &about, &form5);
        form2.attach(&form3);
    }
    TForm1 form1;
    TForm2 form2;
    TForm4 form4;
    TAboutBox about;
    TForm3 form3;
    TForm5 form5;
};

// Runs Ravlo in the working folder: takes the folder's lock, builds the windows and runs the
// message loop until the main window closes. A folder where Ravlo already runs gets a message
// and nothing more: no window is built and no file written. Returns the exit code, 0.
int runProgram(plat::Platform& sys);
