#pragma once
// The settings dialog: holds the unit's settings record, loads it from u.txt, t1.txt and
// t2.txt at start, saves it on the closing buttons that keep it, and closes with one of its
// results or with plat::mrCancel.
#include "platform/stringlist.h"

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TForm2;
}
class QComboBox;
class TForm1;
class TForm3;

// The entry of an editable combo box that its edit field names exactly, -1 when the text names
// none: typed text picks an entry only by being that entry's text, never by leaving an earlier
// choice in place.
int pickedEntry(const QComboBox& box);

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // What the closing buttons close with, besides Отмена's plat::mrCancel. The two writes
    // start the settings transfer.
    enum Result : int { mrRemember = 33, mrRemoteWrite = 34, mrDirectWrite = 35, mrDirectRead = 36 };

    // The lines of u.txt, the first working list: the unit's number, the GPRS access point,
    // user and password, the e-mail login, the operator preset, the SIM choice and the
    // resolution. Lines 5 and 6 are not read, and reach the file as they were loaded.
    enum ULine : int { uTelobj = 0, uApn = 1, uUser = 2, uPass = 3, uEmail = 4, uOper = 7, uSim = 8, uRazr = 9 };

    // The record as the settings transfer sends it, read off the dialog's controls.
    struct Ustanovki {
        int resolution = -1;  // the picker's entry, -1 for none
        QString apn, user, pass, email;
        bool otherOperator = false;  // "Другой оператор": the unit uses apn, user and pass
        bool simSettings = false;    // the unit takes its settings from its SIM card
    };

    explicit TForm2(TForm1& main, QWidget* parent = nullptr);
    ~TForm2() override;
    void attach(TForm3* phoneDialog) { form3 = phoneDialog; }

    Ustanovki ustanovki() const;

    void FormCreate();
    void FormActivate();
    // Saves the controls to the three files, the phone rows as the list view shows them.
    void sohranit();
    // Publishes the phone rows of the list view: into the t1.txt and t2.txt lists and to the
    // main window. Run once they are saved: a row edited and not saved reaches neither.
    void updt1();

    void Button2Click();  // Запомнить: mrRemember
    void Button1Click();  // Удал. запись: mrRemoteWrite
    void BtpryamClick();  // Прямая зап.: mrDirectWrite
    void Button4Click();  // Прямое чтен.: mrDirectRead
    void Button3Click();  // Отмена: plat::mrCancel
    void Rbgprs1Click();
    void Rbgprs2Click();
    void CbsimClick();
    void ListView1DblClick();

    TForm1& form1;
    TForm3* form3 = nullptr;
    std::unique_ptr<Ui::TForm2> ui;

    // The stored settings, as last loaded or saved; the controls hold the edits until a save.
    plat::StringList ListBox1;  // lines of u.txt
    plat::StringList ListBox2;  // lines of t1.txt
    plat::StringList ListBox3;  // lines of t2.txt (also shown in the small visible list box)

    QString oper, sim, razr;
    // The SIM choice's or the phone row edit's handler runs: set by either and released by its
    // scope guard; both return at once while it is set, so that neither runs inside the other
    // or inside itself (the row editor is a modal dialog).
    int guard = 0;
    QString edtel;
    int edlev = 0;

    // Whether each working list was filled from its file. A list that the load never read
    // is written only where its file is absent, so that an unread file is not replaced by an
    // empty or partial one.
    bool uLoaded = false;
    bool t1Loaded = false;
    bool t2Loaded = false;

    static constexpr const char* kUFile = "u.txt";
    static constexpr const char* kT1File = "t1.txt";
    static constexpr const char* kT2File = "t2.txt";

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    // Puts the stored settings of the u.txt list into the controls: the number, the operator
    // choice and its fields, the e-mail and the SIM choice. A file never configured gives
    // only the number; the rest keeps the layout's values.
    void showStored();
    // Selects the operator choice without its handler, with the fields enabled to match.
    void selectOperator(bool other);
    // The unit's number as a closing button that saves takes it: false, after a message, when
    // it breaks the dialling rule or is empty where a number is required.
    bool numberAccepted(bool required);
    // The closing buttons with the phone-number check ("Запомнить", "Удал. запись").
    void closeChecked(int result);
    // The access point, user and password fields with their labels: enabled only for
    // "Другой оператор".
    void enableGprs(bool on);
    // Shows the levels list in the small visible list box.
    void showLevels();
    // Writes a working list to its file, or says why an existing file it never read is kept.
    void saveList(const plat::StringList& list, bool& loaded, const char* name);
    // Puts the list view's phone numbers and levels into the given t1.txt and t2.txt images.
    void putRows(plat::StringList& t1, plat::StringList& t2) const;
    // Hands the four phone rows and their levels joined to the main window (tel, levs).
    void passRows();

    QString defaultEmail;  // the layout's e-mail placeholder
};
