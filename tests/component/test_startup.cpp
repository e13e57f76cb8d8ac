// Start-up, the remembered port, the port dialog, opening the port and closing the window.
#include "rig.h"
#include "platform/cp1251.h"
#include "platform/language.h"
#include "platform/serial_qt.h"
#include "watch/tform6.h"
#include "ui_tform1.h"
#include "ui_tform4.h"
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QtTest>

using rig::Rig;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstStartUsesCom1AndStoresItAtClose() {
        Rig r;
        r.build();
        QCOMPARE(r.form1->portname, QString("COM1"));
        QCOMPARE(r.form1->panel(0), QString("COM1"));
        QCOMPARE(r.form1->windowTitle(), QString("Ravlo"));
        QCOMPARE(r.form1->otmena + r.form1->portopen + r.form1->busy + r.form1->tmrstop + r.form1->dialed +
                     r.form1->readyshown + r.form1->nfiles,
                 0);
        r.form1->close();
        QCOMPARE(r.store.value.value_or("-"), QString("COM1"));
        // Empty lists give empty files.
        QCOMPARE(QFileInfo("files.txt").size(), 0);
        QCOMPARE(QFileInfo("events.txt").size(), 0);
    }

    // The operator's book is read at the start and left as it is; a folder without one gets
    // the settings' unit. Ctrl+O opens the board of the units.
    void theBookIsReadAtTheStartAndNotReplaced() {
        {
            Rig r;
            rig::writeDefaultSettings();
            const QByteArray book = plat::toCp1251(QStringLiteral("Номер;Название;Комментарий;Интервал, ч;Проверка "
                                                                  "звонком\r\n89001112233;Склад;;24;да\r\n"
                                                                  "+79161234567;Дача;;;нет\r\n"));
            rig::writeFile("units.csv", book);
            r.build();
            QCOMPARE(r.form1->watch->book().units().size(), 2);
            QCOMPARE(r.form1->watch->unitName("+79001112233"), QStringLiteral("Склад"));
            QTest::keyClick(r.form1, Qt::Key_O, Qt::ControlModifier);
            QVERIFY(r.form1->watch->board()->isVisible());
            QCOMPARE(r.form1->watch->board()->windowTitle(), QStringLiteral("Объекты"));
            r.form1->close();
            QCOMPARE(rig::readFile("units.csv"), book);
        }
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        QCOMPARE(rig::readFile("units.csv"),
                 plat::toCp1251(QStringLiteral("Номер;Название;Комментарий;Интервал, ч;Проверка звонком\r\n"
                                               "+79001112233;Объект;;;нет\r\n")));
    }

    void rememberedPortIsRestored() {
        Rig r;
        r.store.value = "/dev/ttyUSB0";
        r.build();
        QCOMPARE(r.form1->portname, QString("/dev/ttyUSB0"));
        QCOMPARE(r.form1->panel(0), QString("/dev/ttyUSB0"));
        // A USB modem remembered by its kernel name is known by its stable name from then on,
        // and the port dialog preselects it there.
        const QString usb = "/dev/serial/by-id/usb-Maker_GSM_Modem_0001-if00-port0";
        Rig s;
        s.store.value = "/dev/ttyUSB0";
        s.ports.stable.insert("/dev/ttyUSB0", usb);
        s.ports.extra = {usb};
        s.ports.free = {usb};
        s.build();
        QCOMPARE(s.form1->panel(0), usb);
        s.form4->FormActivate();
        QCOMPARE(s.form4->ui->ComboBox1->currentText(), usb);
        s.form1->close();
        QCOMPARE(s.store.value.value_or("-"), usb);
        // An empty stored name is nothing remembered.
        Rig e;
        e.store.value = "";
        e.build();
        QCOMPARE(e.form1->portname, QString("COM1"));
        QCOMPARE(e.form1->panel(0), QString("COM1"));
    }

    void closeBoxSavesListsAndPortLikeExit() {
        Rig r;
        r.build();
        r.form1->ListBox1.append("foto\\140509_071226f0");
        r.form1->ListBox2.append("1,foto\\140509_071226f0,");
        r.form1->portname = "COM3";
        r.form1->show();
        r.form1->close();  // the close box
        QCOMPARE(rig::readFile("files.txt"), QByteArray("foto\\140509_071226f0\r\n"));
        QCOMPARE(rig::readFile("events.txt"), QByteArray("1,foto\\140509_071226f0,\r\n"));
        QCOMPARE(r.store.value.value_or("-"), QString("COM3"));
        Rig e;
        e.build();
        e.form1->show();
        e.form1->Button2Click();  // Выход
        QVERIFY(!e.form1->isVisible());
        QCOMPARE(e.store.saves, 1);
        QCOMPARE(e.form1->otmena, 1);
    }

    void realStoreRoundTripsInAnIsolatedFolder() {
        QTemporaryDir dir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        plat::SettingsPortStore store;
        QVERIFY(!store.load().has_value());
        QVERIFY(store.save("COM7"));
        QCOMPARE(store.load().value_or("-"), QString("COM7"));
        QVERIFY(QFileInfo::exists(dir.path() + "/qolbe/ravlo.conf"));
        // Whether the station listened is kept beside the port, and leaves it alone.
        QVERIFY(!store.listened());
        QVERIFY(store.saveListened(true));
        QVERIFY(plat::SettingsPortStore().listened());
        QCOMPARE(store.load().value_or("-"), QString("COM7"));
        // A store that exists without the value "pr" still means "COM1".
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, "qolbe", "ravlo");
            s.remove("pr");
            s.setValue("other", 1);
        }
        QVERIFY(!store.load().has_value());
        Rig r;
        plat::Platform sys{r.clock, r.ui, r.ports, store, r.notices, r.disk};
        TForm1 f(sys);
        QCOMPARE(f.portname, QString("COM1"));
    }

    void portDialogListsFreePortsAndPreselectsTheRememberedOne() {
        Rig r;
        r.ports.free = {"COM2", "COM5", "COM15"};
        const QString usb = "/dev/serial/by-id/usb-Maker_GSM_Modem_0001-if00-port0";
        r.ports.extra = {usb};
        r.ports.free.insert(usb);
        r.store.value = "COM5";
        r.build();
        r.form4->FormActivate();
        auto* box = r.form4->ui->ComboBox1;
        QStringList listed;
        for (int i = 0; i < box->count(); ++i) listed << box->itemText(i);
        // Ports above 14 are never probed as COM names.
        QCOMPARE(listed, QStringList({"COM2", "COM5", usb}));
        QCOMPARE(box->currentText(), QString("COM5"));
        box->setCurrentIndex(2);
        r.form4->Button1Click();
        QCOMPARE(r.form4->result(), 1);
        QCOMPARE(r.form1->portname, usb);
        QCOMPARE(r.form1->panel(0), usb);
        // The panel is too narrow for such a name: its tool tip holds it whole.
        QCOMPARE(r.form1->ui->Panel0->toolTip(), usb);
    }

    void cancelChangesNothingAndAHeldPortIsNotListed() {
        Rig r;
        r.ports.free = {"COM1", "COM2"};
        r.ports.held = {"COM1"};  // this program holds it
        r.build();
        r.form4->FormActivate();
        QCOMPARE(r.form4->ui->ComboBox1->count(), 1);
        QCOMPARE(r.form4->ui->ComboBox1->currentIndex(), -1);  // nothing preselected
        r.form4->ui->ComboBox1->setCurrentIndex(0);
        r.form4->Button2Click();
        QCOMPARE(r.form4->result(), 2);
        QCOMPARE(r.form1->portname, QString("COM1"));
        QCOMPARE(r.form1->panel(0), QString("COM1"));
        // Enter (OK) with the held port unlisted and nothing selected keeps the name.
        rig::whenModal([&](QWidget*) { QTest::keyClick(r.form4->ui->ComboBox1, Qt::Key_Return); });
        r.form1->ui->ToolButton2->click();
        QCOMPARE(r.form4->result(), 1);
        QCOMPARE(r.form4->ui->ComboBox1->currentIndex(), -1);
        QCOMPARE(r.form1->portname, QString("COM1"));
        QCOMPARE(r.form1->panel(0), QString("COM1"));
        r.form1->close();
        QCOMPARE(r.store.value.value_or("-"), QString("COM1"));
    }

    void portDialogRunsModallyFromTheToolBar() {
        Rig r;
        r.ports.free = {"COM4"};
        r.store.value = "COM4";
        r.build();
        int result = -1;
        rig::whenModal([&](QWidget* w) {
            QCOMPARE(w, static_cast<QWidget*>(r.form4));
            // A typed name is not read, and Enter does not make it an entry: it presses OK.
            QComboBox* box = r.form4->ui->ComboBox1;
            box->lineEdit()->clear();
            QTest::keyClicks(box, "COM9");
            QTest::keyClick(box, Qt::Key_Return);
        });
        r.form1->ui->ToolButton2->click();
        result = r.form4->result();
        QCOMPARE(result, 1);
        QCOMPARE(r.form1->portname, QString("COM4"));
        QCOMPARE(r.form4->ui->ComboBox1->count(), 1);
        QVERIFY(!(r.form4->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(r.form4->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void setdcbReportsABusyPortAndLeavesItClosed() {
        Rig r;
        r.build();
        r.ports.line().openOk = false;
        QVERIFY(!r.form1->setdcb());
        QCOMPARE(r.ui.messages.size(), 1);
        QCOMPARE(r.ui.messages[0].caption, QString("Порт занят"));
        QCOMPARE(r.ui.messages[0].text, QString("error"));
        QVERIFY(!r.form1->hcom);
        // A refused configuration lets the device go again, without a box.
        r.ports.line().configureOk = false;
        QVERIFY(!r.form1->setdcb());
        QCOMPARE(r.ui.messages.size(), 1);
        QVERIFY(!r.form1->hcom);
        r.ports.line();
        QVERIFY(r.form1->setdcb());
        QCOMPARE(r.ports.current->openedName, QString("COM1"));
        QVERIFY(r.ports.current->configured);
    }

    void comNamesMapToLinuxDevices() {
        QCOMPARE(plat::devicePath("COM1"), QString("/dev/ttyS0"));
        QCOMPARE(plat::devicePath("COM14"), QString("/dev/ttyS13"));
        QCOMPARE(plat::devicePath("COM15"), QString("COM15"));
        QCOMPARE(plat::devicePath("/dev/ttyUSB0"), QString("/dev/ttyUSB0"));
        QCOMPARE(plat::devicePath("com1"), QString("com1"));
    }

    // The dialogs are windows of their own over the window that opens them; the about box,
    // owned by the main window, is still centred on the screen, not over its owner.
    void dialogsBelongToTheirOwnersAndTheAboutBoxIsCentred() {
        Rig r;
        r.build();
        QCOMPARE(r.form2->parentWidget(), static_cast<QWidget*>(r.form1));
        QCOMPARE(r.form4->parentWidget(), static_cast<QWidget*>(r.form1));
        QCOMPARE(r.about->parentWidget(), static_cast<QWidget*>(r.form1));
        QCOMPARE(r.form3->parentWidget(), static_cast<QWidget*>(r.form2));
        for (QWidget* w : std::initializer_list<QWidget*>{r.form2, r.form3, r.form4, r.about})
            QCOMPARE(w->windowType(), Qt::Dialog);

        r.form1->show();
        QPoint centre;
        rig::whenModal([&](QWidget* w) {
            centre = w->frameGeometry().center();
            QTest::keyClick(w, Qt::Key_Return);
        });
        r.form1->ui->ToolButton10->click();
        QCOMPARE(r.about->result(), 1);
        const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((centre - screen).manhattanLength() <= 1,
                 qPrintable(QString("centred at %1,%2").arg(centre.x()).arg(centre.y())));
        QVERIFY(r.form1->geometry().center() != screen);
    }

    // Qt's own dialogs speak the program's language: their texts come from Qt's translations.
    void qtDialogsSpeakRussian() {
        QVERIFY2(plat::installQtRussian(*qApp), "qt6-translations-l10n is not installed");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Отмена"));
        QFileDialog dialog(nullptr, QString(), QDir::currentPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        const QStringList english = {"Look in:", "Choose", "Cancel", "Directory:", "File &name:"};
        for (const QWidget* w : dialog.findChildren<QWidget*>()) {
            const QVariant text = w->property("text");
            QVERIFY2(!english.contains(text.toString().remove('&')) && !english.contains(text.toString()),
                     qPrintable(text.toString()));
        }
    }

    void toolButton1DoesNothing() {
        Rig r;
        rig::writeDefaultSettings();
        r.build();
        r.form1->ui->ToolButton1->click();
        QVERIFY(r.ui.messages.isEmpty() && r.ui.errors.isEmpty());
        QCOMPARE(r.ports.creates, 0);
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
