// The settings record in u.txt, t1.txt and t2.txt: what the load takes, what each opening
// refreshes, and what a save writes back, on real files in a temporary working folder.
#include "rig.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "ui_tform1.h"
#include "ui_tform2.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using rig::Rig;

namespace {

QByteArray lines(const QList<QByteArray>& l) { return plat::StringList::format(l); }

// A configured u.txt: operator, SIM and resolution codes as given.
QByteArray configured(const QByteArray& oper, const QByteArray& sim, const QByteArray& razr) {
    return lines({"+79001112233", "internet", "user", "pass", "cam@example.ru", "", "", oper, sim, razr});
}

void writePhoneList() {
    rig::writeFile("t1.txt", lines({"+79001110000", "+79001110001", "", ""}));
    rig::writeFile("t2.txt", lines({"0", "3", "3", "3"}));
}

// What the layout shows in the e-mail field before any file value is applied.
QString placeholderEmail() {
    QDialog d;
    Ui::TForm2 u;
    u.setupUi(&d);
    return u.Edit5->text();
}

// The refresh of an opening and the save, entered like handlers: a toolkit error is shown.
void activate(Rig& r) {
    r.form1->handle([&] { r.form2->FormActivate(); });
}
void save(Rig& r) {
    r.form1->handle([&] { r.form2->sohranit(); });
}

}  // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT
private slots:
    void configuredFileFillsTheDialogAndTheMainWindowCopies() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        auto* d = r.form2->ui.get();
        QVERIFY2(r.ui.errors.isEmpty(), qPrintable(r.ui.errors.join("; ")));
        QCOMPARE(d->Edit1->text(), QString("+79001112233"));
        QCOMPARE(d->Edit2->text(), QString("internet"));
        QCOMPARE(d->Edit3->text(), QString("user"));
        QCOMPARE(d->Edit4->text(), QString("pass"));
        QCOMPARE(d->Edit5->text(), QString("cam@example.ru"));
        QVERIFY(d->Rbgprs2->isChecked());
        QVERIFY(d->Edit2->isEnabled() && d->Label4->isEnabled());
        QVERIFY(!d->Cbsim->isChecked());
        QCOMPARE(r.form1->telobj, QByteArray("+79001112233"));
        QCOMPARE(r.form1->ui->Label7->text(), QString("+79001112233"));

        // Opening refreshes the phone list, the copies and the resolution.
        activate(r);
        QVERIFY(r.ui.errors.isEmpty());
        QCOMPARE(d->ListView1->topLevelItem(0)->text(0), QString("+79001110000"));
        QCOMPARE(d->ListView1->topLevelItem(1)->text(1), QString("3"));
        QCOMPARE(r.form1->tel[1], QByteArray("+79001110001"));
        QCOMPARE(r.form1->tel[3], QByteArray());
        QCOMPARE(r.form1->levs, QByteArray("0333"));
        QCOMPARE(d->ComboBox1->currentIndex(), 1);
        QCOMPARE(d->ListBox3->count(), 4);
    }

    void notConfiguredFileTakesOnlyThePhoneNumber() {
        Rig r;
        rig::writeFile("u.txt", lines({"+7900", "1", "apn", "usr", "mail@x", "", "", "2", "1", "3"}));
        writePhoneList();
        r.build();
        auto* d = r.form2->ui.get();
        QCOMPARE(d->Edit1->text(), QString("+7900"));
        QCOMPARE(d->Edit2->text(), QString());
        QVERIFY(!d->Edit2->isEnabled() && !d->Edit3->isEnabled() && !d->Edit4->isEnabled());
        QVERIFY(!d->Label2->isEnabled() && !d->Label3->isEnabled() && !d->Label4->isEnabled());
        QCOMPARE(d->Edit5->text(), placeholderEmail());
        QVERIFY(d->Rbgprs1->isChecked());
        QVERIFY(!d->Cbsim->isChecked());
        QCOMPARE(r.form1->telobj, QByteArray("+7900"));

        // Keeping the preset saves line 1 empty, so the file then counts as configured.
        activate(r);
        save(r);
        const auto saved = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(saved.value(1), QByteArray());
        QCOMPARE(saved.value(7), QByteArray("1"));
        QCOMPARE(saved.value(8), QByteArray("2"));
    }

    void otherOperatorAfterANotConfiguredLoadShowsTheFileLines() {
        Rig r;
        rig::writeFile("u.txt", lines({"+7900", "1", "apn", "usr", "mail@x", "", "", "2", "1", "3"}));
        writePhoneList();
        r.build();
        r.form2->ui->Rbgprs2->setChecked(true);
        QCOMPARE(r.form2->ui->Edit2->text(), QString("1"));
        QCOMPARE(r.form2->ui->Edit3->text(), QString("apn"));
        QCOMPARE(r.form2->ui->Edit4->text(), QString("usr"));
    }

    void operatorAndSimCodes_data() {
        QTest::addColumn<QByteArray>("oper");
        QTest::addColumn<QByteArray>("sim");
        QTest::addColumn<bool>("other");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QByteArray>("savedOper");
        QTest::addColumn<QByteArray>("savedSim");
        QTest::newRow("preset, own settings")
            << QByteArray("1") << QByteArray("2") << false << false << QByteArray("1") << QByteArray("2");
        QTest::newRow("other operator, SIM")
            << QByteArray("2") << QByteArray("1") << true << true << QByteArray("2") << QByteArray("1");
        QTest::newRow("empty codes") << QByteArray("") << QByteArray("") << true << false << QByteArray("2")
                                     << QByteArray("2");
        QTest::newRow("other texts") << QByteArray("1 ") << QByteArray("yes") << true << false << QByteArray("2")
                                     << QByteArray("2");
    }
    void operatorAndSimCodes() {
        QFETCH(QByteArray, oper);
        QFETCH(QByteArray, sim);
        QFETCH(bool, other);
        QFETCH(bool, ticked);
        QFETCH(QByteArray, savedOper);
        QFETCH(QByteArray, savedSim);
        Rig r;
        rig::writeFile("u.txt", configured(oper, sim, "1"));
        writePhoneList();
        r.build();
        auto* d = r.form2->ui.get();
        QCOMPARE(d->Rbgprs2->isChecked(), other);
        QCOMPARE(d->Rbgprs1->isChecked(), !other);
        QCOMPARE(d->Cbsim->isChecked(), ticked);
        QCOMPARE(d->Edit5->isEnabled(), !ticked);
        QCOMPARE(d->ListView1->isEnabled(), !ticked);
        // The fields hold the file's values either way; the preset only disables them.
        QCOMPARE(d->Edit2->text(), QString("internet"));
        QCOMPARE(d->Edit2->isEnabled(), other);
        save(r);
        const auto saved = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(saved.value(7), savedOper);
        QCOMPARE(saved.value(8), savedSim);
    }

    void storedResolution_data() {
        QTest::addColumn<QByteArray>("line9");
        QTest::addColumn<int>("picked");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("2") << QByteArray("2") << 1 << QByteArray("2");
        QTest::newRow("3") << QByteArray("3") << 2 << QByteArray("3");
        QTest::newRow("empty") << QByteArray("") << 0 << QByteArray("1");
        QTest::newRow("not a number") << QByteArray("x2") << 0 << QByteArray("1");
        QTest::newRow("0") << QByteArray("0") << -1 << QByteArray("0");
        QTest::newRow("4") << QByteArray("4") << -1 << QByteArray("0");
    }
    void storedResolution() {
        QFETCH(QByteArray, line9);
        QFETCH(int, picked);
        QFETCH(QByteArray, saved);
        Rig r;
        rig::writeFile("u.txt", configured("2", "2", line9));
        writePhoneList();
        r.build();
        QCOMPARE(r.form2->ui->ComboBox1->currentIndex(), 0);  // the load picks the first entry
        activate(r);
        QCOMPARE(r.form2->ui->ComboBox1->currentIndex(), picked);
        QVERIFY(r.ui.errors.isEmpty());
        save(r);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(9), saved);
        // Each opening resets the picker to the saved choice, whatever was picked since.
        r.form2->ui->ComboBox1->setCurrentIndex(2);
        activate(r);
        QCOMPARE(r.form2->ui->ComboBox1->currentIndex(), picked);
    }

    void extraLinesAndCyrillicTextSurviveASaveByteForByte() {
        Rig r;
        // Windows-1251 text in the e-mail, in the uninterpreted lines 5 and 6 (with a byte the
        // code page leaves undefined) and in lines past the tenth.
        const QByteArray email = plat::toCp1251(QStringLiteral("камера@почта.рф"));
        const QByteArray line5 = plat::toCp1251(QStringLiteral("Склад №2")) + "\x98\xFF";
        const QByteArray line6 = "\t  spaced  ";
        const QByteArray u =
            lines({"+79001112233", plat::toCp1251(QStringLiteral("точка")), "user", "\x98pass", email, line5, line6,
                   "2", "2", "3", "eleventh", plat::toCp1251(QStringLiteral("двенадцатая"))});
        const QByteArray t1 = lines({"+7123", plat::toCp1251(QStringLiteral("ж")), "", "#*"});
        rig::writeFile("u.txt", u);
        rig::writeFile("t1.txt", t1);
        rig::writeFile("t2.txt", lines({"0", "1", "2", "-1"}));
        r.build();
        QCOMPARE(r.form2->ui->Edit5->text(), QStringLiteral("камера@почта.рф"));
        QCOMPARE(r.form2->ui->Edit2->text(), QStringLiteral("точка"));
        activate(r);
        r.form1->handle([&] { r.form2->updt1(); });  // the phone list passes through the list view as well
        save(r);
        QVERIFY(r.ui.errors.isEmpty());
        QCOMPARE(rig::readFile("u.txt"), u);
        QCOMPARE(rig::readFile("t1.txt"), t1);
        QCOMPARE(r.form1->levs, QByteArray("012-1"));
    }

    void sevenLineFileLoadsReportsLineNineAndGrowsToTen() {
        Rig r;
        rig::writeFile("u.txt", lines({"+7900", "1", "", "", "", "five", "six"}));
        writePhoneList();
        r.build();
        QVERIFY2(r.ui.errors.isEmpty(), qPrintable(r.ui.errors.join("; ")));
        QCOMPARE(r.form1->telobj, QByteArray("+7900"));
        activate(r);
        QCOMPARE(r.ui.errors, QStringList{"List index out of bounds (9)"});
        // The phone list was refreshed before the missing line stopped the refresh.
        QCOMPARE(r.form1->levs, QByteArray("0333"));
        QCOMPARE(r.form2->ui->ListView1->topLevelItem(1)->text(0), QString("+79001110001"));
        save(r);
        QCOMPARE(rig::readFile("u.txt"), lines({"+7900", "", "", "", plat::toCp1251(r.form2->ui->Edit5->text()), "five",
                                                "six", "1", "2", "1"}));
    }

    void lineEndsAndNulByte_data() {
        QTest::addColumn<QByteArray>("u");
        QTest::addColumn<QByteArray>("t2");
        QTest::newRow("LF only") << QByteArray("+7900\nnet\nu\np\nm@x\n5\n6\n2\n2\n3\n") << QByteArray("0\n3\n3\n3");
        QTest::newRow("CR only") << QByteArray("+7900\rnet\ru\rp\rm@x\r5\r6\r2\r2\r3\r") << QByteArray("0\r3\r3\r3\r");
        QTest::newRow("mixed, no final end")
            << QByteArray("+7900\r\nnet\nu\rp\r\nm@x\n5\r6\r\n2\n2\r3") << QByteArray("0\r\n3\n3\r3");
        const QByteArray nul(1, '\0');
        QTest::newRow("NUL ends the content")
            << QByteArray("+7900\r\nnet\r\nu\r\np\r\nm@x\r\n5\r\n6\r\n2\r\n2\r\n3\r\n") + nul + "junk\r\n"
            << QByteArray("0\r\n3\r\n3\r\n3") + nul + "\r\n7\r\n";
    }
    void lineEndsAndNulByte() {
        QFETCH(QByteArray, u);
        QFETCH(QByteArray, t2);
        Rig r;
        rig::writeFile("u.txt", u);
        rig::writeFile("t1.txt", lines({"", "", "", ""}));
        rig::writeFile("t2.txt", t2);
        r.build();
        activate(r);
        QVERIFY2(r.ui.errors.isEmpty(), qPrintable(r.ui.errors.join("; ")));
        QCOMPARE(r.form2->ListBox1.count(), 10);
        QCOMPARE(r.form2->ui->Edit2->text(), QString("net"));
        QCOMPARE(r.form2->ui->ComboBox1->currentIndex(), 2);
        QCOMPARE(r.form1->levs, QByteArray("0333"));
        save(r);
        QCOMPARE(rig::readFile("u.txt"), lines({"+7900", "net", "u", "p", "m@x", "5", "6", "2", "2", "3"}));
        QCOMPARE(rig::readFile("t2.txt"), lines({"0", "3", "3", "3"}));
    }

    void missingSettingsFileStopsTheLoad() {
        Rig r;
        writePhoneList();
        r.build();
        QCOMPARE(r.ui.errors, QStringList{"Cannot open file u.txt"});
        QCOMPARE(r.form2->ui->Edit1->text(), QString());
        QCOMPARE(r.form1->telobj, QByteArray());
        QVERIFY(r.form2->ListBox2.isEmpty() && r.form2->ListBox3.isEmpty());
        // Without lines 5 and 6 the save cannot put line 7: nothing is written.
        r.ui.errors.clear();
        r.form2->ui->Edit1->setText("+7900");
        r.form2->ui->Button2->click();
        QCOMPARE(r.ui.errors, QStringList{"Unable to insert a line"});
        QCOMPARE(r.form2->result(), 0);
        QVERIFY(!QFileInfo::exists("u.txt"));
        QCOMPARE(rig::readFile("t1.txt"), lines({"+79001110000", "+79001110001", "", ""}));
    }

    void shortConfiguredFileStopsTheLoadAndUnreadListsAreNotWrittenBack() {
        Rig r;
        // Eight lines with line 1 not "1": the load stops at line 8, before t1.txt and t2.txt.
        const QByteArray u = lines({"+7900", "net", "u", "p", "m@x", "", "", "2"});
        rig::writeFile("u.txt", u);
        writePhoneList();
        const QByteArray t1 = rig::readFile("t1.txt"), t2 = rig::readFile("t2.txt");
        r.build();
        QCOMPARE(r.ui.errors, QStringList{"List index out of bounds (8)"});
        QCOMPARE(r.form1->telobj, QByteArray());  // the load ended before the copy
        r.ui.errors.clear();
        activate(r);
        QCOMPARE(r.ui.errors, QStringList{"List index out of bounds (0)"});
        save(r);
        // u.txt was read, so it is saved; the unread phone list files keep their contents.
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).size(), 10);
        QCOMPARE(rig::readFile("t1.txt"), t1);
        QCOMPARE(rig::readFile("t2.txt"), t2);
    }

    // An absent list file is created by the save; one that is there but was never read keeps
    // its contents, and the operator is told, while the rest of the save goes on.
    void aSaveCreatesAnAbsentListFileAndKeepsAnUnreadOne() {
        Rig r;
        rig::writeDefaultSettings();
        QFile::remove("t1.txt");
        const QByteArray t2 = rig::readFile("t2.txt");
        r.build();
        QCOMPARE(r.ui.errors, QStringList{"Cannot open file t1.txt"});  // t2.txt is not reached
        r.ui.errors.clear();
        for (int row = 0; row < 4; ++row) {
            r.form2->ui->ListView1->topLevelItem(row)->setText(0, QString("+7900111000%1").arg(row));
            r.form2->ui->ListView1->topLevelItem(row)->setText(1, "2");
        }
        r.form1->handle([&] { r.form2->updt1(); });
        r.form2->ui->Button2->click();
        QCOMPARE(r.form2->result(), 33);
        QCOMPARE(rig::readFile("t1.txt"), lines({"+79001110000", "+79001110001", "+79001110002", "+79001110003"}));
        QCOMPARE(rig::readFile("t2.txt"), t2);
        QCOMPARE(r.ui.messages.size(), 1);
        QCOMPARE(r.ui.messages[0].caption, QString("Ravlo"));
        QCOMPARE(r.ui.messages[0].text, QString("Файл t2.txt не прочитан при запуске и не записан"));
        QVERIFY(r.ui.errors.isEmpty());
        // The file it created holds the list: the next save writes it again.
        r.form2->ui->ListView1->topLevelItem(3)->setText(0, "+7911");
        r.form1->handle([&] { r.form2->updt1(); });
        r.form2->ui->Button2->click();
        QCOMPARE(plat::StringList::parse(rig::readFile("t1.txt")).value(3), QByteArray("+7911"));
        QCOMPARE(r.ui.messages.size(), 2);

        // t1.txt there but unreadable (a folder of that name): both phone files are left alone.
        Rig u;
        rig::writeDefaultSettings();
        QFile::remove("t1.txt");
        QVERIFY(QDir().mkdir("t1.txt"));
        u.build();
        QCOMPARE(u.ui.errors, QStringList{"Cannot open file t1.txt"});
        u.form2->ui->Edit2->setText("apn2");
        u.form2->ui->ListView1->topLevelItem(0)->setText(0, "+7911");
        u.form1->handle([&] { u.form2->updt1(); });
        u.form2->ui->Button2->click();
        QCOMPARE(u.form2->result(), 33);
        QVERIFY(QFileInfo("t1.txt").isDir());
        QCOMPARE(rig::readFile("t2.txt"), t2);
        QCOMPARE(u.ui.messages.size(), 2);
        QCOMPARE(u.ui.messages[0].text, QString("Файл t1.txt не прочитан при запуске и не записан"));
        QCOMPARE(u.ui.messages[1].text, QString("Файл t2.txt не прочитан при запуске и не записан"));
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(1), QByteArray("apn2"));
    }

    void aFileThatCannotBeCreatedStopsTheSaveInFileOrder() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        activate(r);
        // t1.txt turns into a folder: u.txt is written, t1.txt fails, t2.txt is not reached.
        QFile::remove("t1.txt");
        QVERIFY(QDir().mkdir("t1.txt"));
        const QByteArray t2 = rig::readFile("t2.txt");
        r.form2->ui->Edit2->setText("apn2");
        r.form2->ui->ListView1->topLevelItem(0)->setText(1, "2");
        r.form1->handle([&] { r.form2->updt1(); });
        r.form2->ui->Button2->click();
        QCOMPARE(r.ui.errors, QStringList{"Cannot create file t1.txt"});
        QCOMPARE(r.form2->result(), 0);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(1), QByteArray("apn2"));
        QCOMPARE(rig::readFile("t2.txt"), t2);
    }

#ifdef Q_OS_UNIX
    void aSaveReplacesFilesInsteadOfRewritingThem() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        activate(r);
        // A second name for the old file: a save that rewrote the file in place would change it.
        QVERIFY(::link("u.txt", "u.old") == 0);
        const QByteArray before = rig::readFile("u.txt");
        r.form2->ui->Edit2->setText("changed");
        save(r);
        QCOMPARE(rig::readFile("u.old"), before);
        QCOMPARE(plat::StringList::parse(rig::readFile("u.txt")).value(1), QByteArray("changed"));
    }

    void aWriteThatRunsOutOfSpaceLeavesTheOldFileWhole() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        activate(r);
        const QByteArray before = rig::readFile("u.txt");
        r.form2->ui->Edit5->setText(QString(200, QLatin1Char('m')));
        // A file size limit stands in for a full disk: the write fails part way.
        struct rlimit old {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 64;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        r.form2->ui->Button2->click();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(r.ui.errors, QStringList{"Cannot create file u.txt"});
        QCOMPARE(r.form2->result(), 0);
        QCOMPARE(rig::readFile("u.txt"), before);
        QCOMPARE(QDir().entryList(QDir::Files).filter("u.txt").size(), 1);  // no temporary left
    }
#endif

    void shippedFilesLoadAsNotConfigured() {
        const QString res = QStringLiteral(RAVLO_SOURCE_DIR "/resources/defaults/");
        Rig r;
        for (const char* name : {"u.txt", "t1.txt", "t2.txt"}) QVERIFY(QFile::copy(res + name, name));
        const QList<QByteArray> u = plat::StringList::parse(rig::readFile("u.txt"));
        QCOMPARE(u.size(), 10);
        QCOMPARE(u[1], QByteArray("1"));
        QVERIFY(rig::readFile("u.txt").endsWith("\r\n"));
        QCOMPARE(plat::StringList::parse(rig::readFile("t1.txt")).size(), 4);
        QCOMPARE(plat::StringList::parse(rig::readFile("t2.txt")).size(), 4);
        r.build();
        activate(r);
        QVERIFY2(r.ui.errors.isEmpty(), qPrintable(r.ui.errors.join("; ")));
        QVERIFY(r.form2->ui->Rbgprs1->isChecked());
        QCOMPARE(r.form2->ui->ComboBox1->currentIndex(), 0);
        QCOMPARE(r.form1->levs, QByteArray("0000"));
    }
};

QTEST_MAIN(TestSettingsFiles)
#include "test_settings_files.moc"
