// The settings dialog and the phone-number dialog, offscreen: closing results and the phone
// number check, the operator presets, the SIM choice, the row edit and its key filter, and what
// a closing that does not save leaves behind.
#include "rig.h"
#include "config/tform2.h"
#include "config/tform3.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"
#include "ui_tform3.h"

#include <QClipboard>
#include <QtTest>

using rig::Rig;

namespace {

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }

struct Files {
    QByteArray u, t1, t2;
    static Files now() { return {rig::readFile("u.txt"), rig::readFile("t1.txt"), rig::readFile("t2.txt")}; }
    bool operator==(const Files&) const = default;
};

// A rig with the configured settings, its dialog refreshed as at an opening.
struct Opened {
    Rig r;
    Ui::TForm2* d = nullptr;
    // t1 replaces the phone numbers of the default settings when given.
    explicit Opened(const QByteArray& t1 = {}) {
        rig::writeDefaultSettings();
        if (!t1.isEmpty()) rig::writeFile("t1.txt", t1);
        r.build();
        d = r.form2->ui.get();
        r.form1->handle([this] { r.form2->FormActivate(); });
    }
    // Double-clicks row n with the phone-number dialog answered by f.
    void editRow(int n, std::function<void(TForm3&)> f) {
        d->ListView1->setCurrentItem(d->ListView1->topLevelItem(n));
        rig::whenModal(
            [this, f](QWidget* w) {
                f(*r.form3);
                if (w->isVisible()) static_cast<QDialog*>(w)->done(0);  // a failed check must not hang
            },
            r.form3);
        r.form1->handle([this] { r.form2->ListView1DblClick(); });
    }
    // Opens the settings dialog as the main window does, runs f inside it and gives the result.
    int open(std::function<void()> f) {
        rig::whenModal(
            [f](QWidget* w) {
                f();
                if (w->isVisible()) static_cast<QDialog*>(w)->done(0);  // a button that did not close
            },
            r.form2);
        return r.form2->exec();
    }
};

}  // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
private slots:
    void closingButtonsAndTheirResults() {
        Opened o;
        const Files before = Files::now();
        o.d->Button3->click();  // Отмена
        QCOMPARE(o.r.form2->result(), 2);
        o.d->Button4->click();  // Прямое чтен.
        QCOMPARE(o.r.form2->result(), 36);
        o.r.form2->setResult(0);
        static_cast<QDialog*>(o.r.form2)->reject();  // Escape, the close box
        QCOMPARE(o.r.form2->result(), 2);
        QVERIFY(Files::now() == before);

        o.d->Edit1->setText("+79005550000");
        o.d->Button1->click();  // Удал. запись
        QCOMPARE(o.r.form2->result(), 34);
        QCOMPARE(o.r.form1->telobj, QByteArray("+79005550000"));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(0), QByteArray("+79005550000"));
        o.d->Edit1->setText("+79005551111");
        o.d->Button2->click();  // Запомнить
        QCOMPARE(o.r.form2->result(), 33);
        QCOMPARE(o.r.form1->telobj, QByteArray("+79005551111"));
        QVERIFY(o.r.ui.messages.isEmpty());
    }

    void anEmptyPhoneNumberIsRefusedExceptForTheDirectWrite() {
        Opened o;
        const Files before = Files::now();
        o.d->Edit1->clear();
        o.r.form2->setResult(0);
        for (QPushButton* b : {o.d->Button2, o.d->Button1}) {
            b->click();
            QCOMPARE(o.r.form2->result(), 0);
        }
        QCOMPARE(o.r.ui.messages.size(), 2);
        QCOMPARE(o.r.ui.messages[0].text, QString("Введите номер телефона объекта"));
        QVERIFY(Files::now() == before);
        QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));

        // "Прямая зап." saves an empty number and leaves the main window's number alone.
        o.d->Edit1->clear();
        o.d->Btpryam->click();
        QCOMPARE(o.r.form2->result(), 35);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(0), QByteArray());
        QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));
    }

    // The unit's number keeps the phone list's rule, digits, "+", "*" and "#", at most 16: every
    // button that saves refuses one that breaks it, naming the fault, and saves nothing.
    void aNumberThatBreaksTheDiallingRuleIsNotSaved() {
        {
            // A number the file already holds is shown and dialled as it stands.
            Rig r;
            rig::writeDefaultSettings();
            rig::writeFile("u.txt", rig::readFile("u.txt").replace("+79001112233", "8 (900) 111-22-33"));
            r.build();
            QCOMPARE(r.form2->ui->Edit1->text(), QString("8 (900) 111-22-33"));
            QCOMPARE(r.form1->telobj, QByteArray("8 (900) 111-22-33"));
        }
        Opened o;
        const Files before = Files::now();
        const QString rule("Допустимы только цифры и знаки +, * и #, не более 16 знаков.");
        const QList<std::pair<QString, QString>> bad = {
            {"8 (900) 111-22-33 abc",
             "содержит недопустимые знаки: пробел, «(», «)», «-», «a», «b», «c» и слишком длинный (длина 21)"},
            {"+7(900)1112233", "содержит недопустимые знаки: «(», «)»"},
            {" ", "содержит недопустимые знаки: пробел"},
            {"79001112233445566", "слишком длинный (длина 17)"},
        };
        for (const auto& [number, fault] : bad) {
            for (QPushButton* b : {o.d->Button2, o.d->Button1, o.d->Btpryam}) {
                o.r.ui.messages.clear();
                o.r.form2->setResult(0);
                o.d->Edit1->setText(number);
                b->click();
                QCOMPARE(o.r.form2->result(), 0);
                QCOMPARE(o.r.ui.messages.size(), 1);
                QCOMPARE(o.r.ui.messages[0].text,
                         QString("Номер телефона объекта «%1» %2. %3").arg(number, fault, rule));
            }
        }
        QVERIFY(Files::now() == before);
        QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));

        o.d->Edit1->setText("*100#");
        o.d->Button2->click();
        QCOMPARE(o.r.form2->result(), 33);
        QCOMPARE(o.r.form1->telobj, QByteArray("*100#"));
        o.d->Edit1->setText("+790011122233344");  // 16 characters
        o.d->Btpryam->click();
        QCOMPARE(o.r.form2->result(), 35);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(0), QByteArray("+790011122233344"));
        QCOMPARE(o.r.ui.messages.size(), 1);  // the last refusal's, none since
    }

    void enterPressesRememberAndOpeningRefreshes() {
        Opened o;
        o.d->ComboBox1->setCurrentIndex(2);  // not saved: the opening resets it
        int result = -1;
        QWidget* focused = nullptr;
        rig::whenModal(
            [&](QWidget* w) {
                // The dialog's own focus widget is the one that has the focus whenever the dialog
                // is the active window; when the platform gets round to activating it does not
                // matter.
                focused = w->focusWidget();
                QTest::keyClick(focused ? focused : w, Qt::Key_Return);
                if (w->isVisible()) static_cast<QDialog*>(w)->done(0);
            },
            o.r.form2);
        result = o.r.form2->exec();
        QCOMPARE(result, 33);
        QCOMPARE(focused, static_cast<QWidget*>(o.d->Edit1));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("2"));
    }

    void presetSwitchingShowsTheSavedValues() {
        Opened o;
        QVERIFY(o.d->Rbgprs2->isChecked());
        o.d->Edit2->setText("typed");
        o.d->Edit3->setText("typed");
        o.d->Rbgprs1->click();
        QCOMPARE(o.d->Edit2->text(), QString());
        QCOMPARE(o.d->Edit4->text(), QString());
        QVERIFY(!o.d->Edit3->isEnabled() && !o.d->Label3->isEnabled());
        o.d->Rbgprs1->click();  // already selected: nothing happens
        o.d->Rbgprs2->click();
        QCOMPARE(o.d->Edit2->text(), QString("internet"));
        QCOMPARE(o.d->Edit3->text(), QString("user"));
        QCOMPARE(o.d->Edit4->text(), QString("pass"));
        QVERIFY(o.d->Edit3->isEnabled() && o.d->Label3->isEnabled());

        // After a save the other operator's fields come back as saved.
        o.d->Edit2->setText("apn2");
        o.d->Btpryam->click();
        o.d->Rbgprs1->click();
        o.d->Rbgprs2->click();
        QCOMPARE(o.d->Edit2->text(), QString("apn2"));

        // The preset saves the three fields empty and the code "1".
        o.d->Rbgprs1->click();
        o.d->Btpryam->click();
        const auto saved = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(saved.mid(1, 3), (QList<QByteArray>{"", "", ""}));
        QCOMPARE(saved.value(7), QByteArray("1"));
    }

    void simTickDisablesButKeepsTheEmailAndThePhoneList() {
        Opened o;
        o.d->Cbsim->click();
        QVERIFY(o.d->Cbsim->isChecked());
        QVERIFY(!o.d->Edit5->isEnabled() && !o.d->Label5->isEnabled() && !o.d->ListView1->isEnabled());
        QCOMPARE(o.d->Edit5->text(), QString("cam@example.ru"));
        o.d->Btpryam->click();
        const auto saved = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(saved.value(4), QByteArray("cam@example.ru"));
        QCOMPARE(saved.value(8), QByteArray("1"));
        QCOMPARE(plat::StringList::parse(rig::readFile("t1.txt")).value(0), QByteArray("+79001110000"));
        o.d->Cbsim->click();
        QVERIFY(o.d->Edit5->isEnabled() && o.d->Label5->isEnabled() && o.d->ListView1->isEnabled());
        // While the guard is held the handler does nothing.
        o.r.form2->guard = 1;
        o.d->Cbsim->setChecked(true);
        QVERIFY(o.d->Edit5->isEnabled());
        QCOMPARE(o.r.form2->guard, 1);
    }

    void phoneNumberKeyFilter() {
        Opened o;
        o.editRow(2, [](TForm3& f) {
            QLineEdit* e = f.ui->Edit1;
            QCOMPARE(e->text(), QString());  // the row's number replaces the layout's "+7"
            QTest::keyClicks(e, "a -+7(9)*#.");
            QCOMPARE(e->text(), QString("+79*#"));
            QTest::keyClicks(e, "0123456789012345");
            QCOMPARE(e->text(), QString("+79*#01234567890"));  // 16 characters and no further
            QTest::keyClick(e, Qt::Key_Backspace);
            QCOMPARE(e->text().size(), 15);
            QTest::keyClicks(e, "77");
            QCOMPARE(e->text(), QString("+79*#01234567897"));
            // Typing over a selection counts the same way.
            e->selectAll();
            QTest::keyClick(e, '5');
            QCOMPARE(e->text().size(), 16);
            // Control characters and a keyboard paste are discarded.
            QGuiApplication::clipboard()->setText("123");
            e->clear();
            QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(e->text(), QString());
            QVERIFY(!f.Edit1KeyPress(QChar(0x16)));
            QVERIFY(f.Edit1KeyPress(QChar(8)));
            QTest::keyClicks(e, "+7123");
            QTest::keyClick(e, Qt::Key_Return);  // Enter is "ОК"
        });
        QCOMPARE(o.d->ListView1->topLevelItem(2)->text(0), QString("+7123"));
    }

    // A number longer than typing allows, as the list file may hold it, opens and comes back
    // whole; the next opening caps a short number at 16 characters again.
    void aLongStoredNumberIsKeptWhole() {
        const QString longNumber("+7900111222333444555");  // 20 characters
        Opened o(lines({longNumber.toLatin1(), "", "", ""}));
        o.editRow(0, [&](TForm3& f) {
            QCOMPARE(f.ui->Edit1->text(), longNumber);
            QTest::keyClick(f.ui->Edit1, '8');
            f.ui->Button1->click();
        });
        QCOMPARE(o.d->ListView1->topLevelItem(0)->text(0), longNumber);
        o.editRow(1, [](TForm3& f) {
            QTest::keyClicks(f.ui->Edit1, "+790011122233344");
            QCOMPARE(f.ui->Edit1->text().size(), 16);
            f.ui->Edit1->insert("55");  // what the context menu's paste does
            QCOMPARE(f.ui->Edit1->text().size(), 16);
            f.ui->Button2->click();
        });
        o.d->Btpryam->click();
        QCOMPARE(plat::StringList::parse(rig::readFile("t1.txt")).value(0), longNumber.toLatin1());
    }

    // Text typed into an editable box counts as the entry it names exactly, Enter or not, and
    // never as a new entry: the level box gives -1, the resolution box "0", for any other text.
    void typedComboTextPicksOnlyAnExistingEntry() {
        Opened o;
        auto type = [](QComboBox* box, const char* text) {
            box->lineEdit()->clear();
            QTest::keyClicks(box, text);
        };
        o.editRow(0, [&](TForm3& f) {  // level 0
            type(f.ui->Comb, "2");
            f.ui->Button1->click();
        });
        QCOMPARE(o.r.form2->edlev, 2);
        o.editRow(1, [&](TForm3& f) {  // level 3
            type(f.ui->Comb, "7");
            QTest::keyClick(f.ui->Comb, Qt::Key_Return);  // Enter is "ОК"
        });
        QCOMPARE(o.r.form2->edlev, -1);
        QCOMPARE(o.d->ListView1->topLevelItem(1)->text(1), QString("-1"));
        QCOMPARE(o.r.form3->ui->Comb->count(), 4);

        // Saved "2"; the transfer after a save reads the box's position, so it follows too.
        type(o.d->ComboBox1, "640x480");
        o.d->Btpryam->click();
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("3"));
        QCOMPARE(o.d->ComboBox1->currentIndex(), 2);
        rig::whenModal([&](QWidget* w) {
            type(o.d->ComboBox1, "1024x768");
            QTest::keyClick(o.d->ComboBox1, Qt::Key_Return);  // Enter is "Запомнить"
            if (w->isVisible()) static_cast<QDialog*>(w)->done(0);
        });
        QCOMPARE(o.r.form2->exec(), 33);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), QByteArray("0"));
        QCOMPARE(o.d->ComboBox1->count(), 3);
        QCOMPARE(o.d->ComboBox1->currentIndex(), -1);
        QCOMPARE(o.d->ComboBox1->currentText(), QString("1024x768"));
    }

    // The phone list is a report view ruled into cells; the resolution list has rows 16 high.
    void listsAsLaidOut() {
        Opened o;
        o.r.form2->show();
        QVERIFY(QTest::qWaitForWindowExposed(o.r.form2));
        QTreeWidget* list = o.d->ListView1;
        const QImage shot = list->viewport()->grab().toImage();
        const QRgb rule = list->palette().color(QPalette::Button).rgb() & 0xFFFFFF;
        QVERIFY(rule != (list->palette().color(QPalette::Base).rgb() & 0xFFFFFF));
        const QRect cell = list->visualRect(list->model()->index(3, 0));  // an empty row
        QCOMPARE(shot.pixel(cell.right(), cell.center().y()) & 0xFFFFFF, rule);
        QCOMPARE(shot.pixel(cell.center().x(), cell.bottom()) & 0xFFFFFF, rule);
        QVERIFY((shot.pixel(cell.center()) & 0xFFFFFF) != rule);
        o.r.form2->hide();
        QCOMPARE(o.d->ComboBox1->view()->sizeHintForRow(0), 16);
    }

    // An edited row shows in the list view; the working lists, the main window's copies and the
    // files take it with the save.
    void rowEditReachesTheListsWithTheSave() {
        Opened o;
        const Files before = Files::now();
        o.editRow(1, [](TForm3& f) {
            QCOMPARE(f.ui->Edit1->text(), QString("+79001110001"));
            QCOMPARE(f.ui->Comb->currentIndex(), 3);
            f.ui->Edit1->setText("+7555");
            f.ui->Comb->setCurrentIndex(1);
            f.ui->Button1->click();
        });
        QCOMPARE(o.r.form2->guard, 0);
        QCOMPARE(o.d->ListView1->topLevelItem(1)->text(0), QString("+7555"));
        QCOMPARE(o.d->ListView1->topLevelItem(1)->text(1), QString("1"));
        QCOMPARE(o.r.form2->ListBox2.at(1), QByteArray("+79001110001"));
        QCOMPARE(o.r.form1->tel[1], QByteArray("+79001110001"));
        QCOMPARE(o.r.form1->levs, QByteArray("0333"));
        QVERIFY(Files::now() == before);

        // No level picked stores "-1".
        o.editRow(3, [](TForm3& f) {
            f.ui->Comb->setCurrentIndex(-1);
            f.ui->Button1->click();
        });
        QCOMPARE(o.d->ListView1->topLevelItem(3)->text(1), QString("-1"));

        // Отмена in the phone-number dialog changes nothing.
        o.editRow(0, [](TForm3& f) {
            f.ui->Edit1->setText("+7999");
            f.ui->Button2->click();
        });
        QCOMPARE(o.d->ListView1->topLevelItem(0)->text(0), QString("+79001110000"));
        QCOMPARE(o.r.form2->edtel, QString("+79001110000"));

        o.d->Button2->click();
        QCOMPARE(rig::readFile("t1.txt"), lines({"+79001110000", "+7555", "", ""}));
        QCOMPARE(rig::readFile("t2.txt"), lines({"0", "1", "3", "-1"}));
        QCOMPARE(o.r.form2->ListBox2.at(1), QByteArray("+7555"));
        QCOMPARE(o.r.form1->tel[1], QByteArray("+7555"));
        QCOMPARE(o.r.form1->levs, QByteArray("013-1"));
        QCOMPARE(o.d->ListBox3->item(1)->text(), QString("1"));
    }

    void rowEditIsRefusedWithoutASelectionAndOnABadLevel() {
        Opened o;
        o.d->ListView1->clearSelection();
        // The handler runs the phone dialog inside the call if it opens it at all; this timer
        // closes it from within, so that a wrongly opened dialog fails the check instead of
        // blocking.
        bool shown = false;
        QTimer closer;
        closer.callOnTimeout([&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                shown = true;
                static_cast<QDialog*>(w)->done(2);
            }
        });
        closer.start(5);
        o.r.form1->handle([&] { o.r.form2->ListView1DblClick(); });
        o.d->ListView1->topLevelItem(0)->setText(1, "x");
        o.d->ListView1->setCurrentItem(o.d->ListView1->topLevelItem(0));
        o.r.form1->handle([&] { o.r.form2->ListView1DblClick(); });
        QVERIFY(!shown);
        QCOMPARE(o.r.ui.errors, QStringList{"'x' is not a valid integer value"});
        QCOMPARE(o.r.form2->guard, 0);
    }

    // A closing that does not save (Отмена, Escape, the close box) leaves nothing behind: the
    // next opening shows what is stored, a save then saves that, and the main window's copies
    // are as they were.
    void aCancelledDialogLeavesNothingBehind() {
        Opened o;
        const Files before = Files::now();
        const auto tel = o.r.form1->tel;
        const QByteArray levs = o.r.form1->levs;
        auto showsTheStoredValues = [&] {
            QCOMPARE(o.d->Edit1->text(), QString("+79001112233"));
            QVERIFY(o.d->Rbgprs2->isChecked() && !o.d->Rbgprs1->isChecked());
            QCOMPARE(o.d->Edit2->text(), QString("internet"));
            QCOMPARE(o.d->Edit3->text(), QString("user"));
            QVERIFY(o.d->Edit2->isEnabled() && o.d->Label4->isEnabled());
            QCOMPARE(o.d->Edit5->text(), QString("cam@example.ru"));
            QVERIFY(!o.d->Cbsim->isChecked() && o.d->Edit5->isEnabled() && o.d->ListView1->isEnabled());
            QCOMPARE(o.d->ComboBox1->currentIndex(), 1);
            QCOMPARE(o.d->ListView1->topLevelItem(1)->text(0), QString("+79001110001"));
            QCOMPARE(o.d->ListView1->topLevelItem(1)->text(1), QString("3"));
            QCOMPARE(o.r.form1->tel, tel);
            QCOMPARE(o.r.form1->levs, levs);
            QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));
        };
        auto editRow1 = [&] {
            o.editRow(1, [](TForm3& f) {
                f.ui->Edit1->setText("+7555");
                f.ui->Comb->setCurrentIndex(1);
                f.ui->Button1->click();
            });
        };
        const int cancelled = o.open([&] {
            o.d->Edit1->setText("+79009999999");
            o.d->Edit5->setText("abandoned@example.ru");
            o.d->Rbgprs1->click();  // the preset empties and disables the GPRS fields
            o.d->Cbsim->setChecked(true);
            o.d->ComboBox1->setCurrentIndex(0);
            editRow1();
            // A save that fails keeps the edits in the open dialog.
            o.d->Edit1->setText("+7 900");
            o.d->Button2->click();
            QVERIFY(o.r.form2->isVisible());
            QCOMPARE(o.d->Edit5->text(), QString("abandoned@example.ru"));
            // So does one whose file cannot be written; the main window keeps its number.
            o.d->Edit1->setText("+79005550000");
            QVERIFY(QFile::remove("u.txt") && QDir().mkdir("u.txt"));
            o.d->Button2->click();
            QCOMPARE(o.r.ui.errors, QStringList{"Cannot create file u.txt"});
            QVERIFY(o.r.form2->isVisible());
            QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));
            QVERIFY(QDir().rmdir("u.txt"));
            rig::writeFile("u.txt", before.u);
            o.d->Button3->click();  // Отмена
        });
        QCOMPARE(cancelled, 2);
        QCOMPARE(o.r.form1->tel, tel);
        QCOMPARE(o.r.form1->levs, levs);
        QCOMPARE(o.r.form1->telobj, QByteArray("+79001112233"));
        QVERIFY(Files::now() == before);

        // Escape; the fields typed into while "Другой оператор" stays selected come back too.
        const int escaped = o.open([&] {
            showsTheStoredValues();
            o.d->Edit2->setText("abandoned apn");
            editRow1();
            QTest::keyClick(o.d->Edit2, Qt::Key_Escape);
        });
        QCOMPARE(escaped, 2);

        const int kept = o.open([&] {
            showsTheStoredValues();
            o.d->Button2->click();  // Запомнить
        });
        QCOMPARE(kept, 33);
        QVERIFY(Files::now() == before);
        QCOMPARE(o.r.form1->tel, tel);
        QCOMPARE(o.r.form1->levs, levs);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "test_settings_dialog.moc"
