// The five window layouts as built by the generated form code: the texts whose letters must
// be exact, the fonts they resolve to, captions that fit their controls, controls that stay
// inside their parents without covering each other, and the picture panes' stacking.
#include "ui_aboutbox.h"
#include "ui_tform1.h"
#include "ui_tform2.h"
#include "ui_tform3.h"
#include "ui_tform4.h"

#include "platform/fonts.h"
#include "platform/jpeg.h"
#include "platform/toolkit.h"

#include <QScrollBar>
#include <QtTest>

namespace {

// All five forms, built the way their window classes build them.
struct Forms {
    Ui::TForm1 u1;
    Ui::TForm2 u2;
    Ui::TForm3 u3;
    Ui::TForm4 u4;
    Ui::TAboutBox ua;
    QWidget form1;
    QDialog form2, form3, form4, about;

    Forms() {
        u1.setupUi(&form1);
        u2.setupUi(&form2);
        u3.setupUi(&form3);
        u4.setupUi(&form4);
        ua.setupUi(&about);
    }
    std::vector<QWidget*> all() { return {&form1, &form2, &form3, &form4, &about}; }
};

QImage filled(QSize size, QRgb colour) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

// Every pixel of rect in shot has the colour.
bool allPixels(const QImage& shot, QRect rect, QRgb colour) {
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) return false;
    return true;
}

// Where the child sits in the coordinates of its window.
QRect inWindow(QWidget* w) { return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()); }

QString describe(const QWidget* w) { return w->window()->objectName() + u'.' + w->objectName(); }

// The plain frames of the layouts (panels, the tool bar, the status bar) hold other controls.
bool isContainer(const QWidget* w) { return qstrcmp(w->metaObject()->className(), "QFrame") == 0; }

// The controls a layout places, depth first, without the inner parts of the controls.
QList<QWidget*> designed(QWidget* parent) {
    QList<QWidget*> out;
    for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        out.append(w);
        if (isContainer(w)) out += designed(w);
    }
    return out;
}

}  // namespace

class TestLayouts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { plat::installFontFallbacks(); }

    // Captions that look alike but are written in different alphabets: the program and the
    // unit compare these texts byte for byte.
    void lettersOfLookalikeCaptions() {
        Forms f;
        QCOMPARE(f.u3.Button1->text(), QString::fromUtf8("\u041E\u041A"));  // Cyrillic О К
        QCOMPARE(f.u4.Button1->text(), QStringLiteral("OK"));               // Latin
        QCOMPARE(f.ua.OKButton->text(), QStringLiteral("OK"));
        QCOMPARE(f.ua.Version->text(), QString::fromUtf8("\u0412\u0435\u0440\u0441\u0438\u044F 1.03\u0412"));
        QCOMPARE(f.u2.ComboBox1->count(), 3);
        QCOMPARE(f.u2.ComboBox1->itemText(0), QString::fromUtf8("160\u0445"
                                                                "128"));  // Cyrillic х
        QCOMPARE(f.u2.ComboBox1->itemText(1), QString::fromUtf8("320\u0445"
                                                                "240"));
        QCOMPARE(f.u2.ComboBox1->itemText(2), QStringLiteral("640x480"));  // Latin x
        QCOMPARE(f.u2.ComboBox1->currentText(), QStringLiteral("ComboBox1"));
        QCOMPARE(f.u3.Comb->currentText(), QStringLiteral("Comb"));
        QCOMPARE(f.u3.Edit1->text(), QStringLiteral("+7"));
    }

    // The layouts name a Windows font; it must land on a narrow installed font at the sizes
    // the layouts were drawn for.
    void fontsResolve() {
        Forms f;
        const QStringList fallbacks{QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
        const QFontInfo body(f.u1.Button3->font());
        QVERIFY2(fallbacks.contains(body.family()), qPrintable("resolved to " + body.family()));
        if (body.family() != fallbacks.first())
            qWarning("layout font resolved to %s: install fonts-liberation2", qPrintable(body.family()));
        QCOMPARE(body.pixelSize(), 11);
        QCOMPARE(QFontInfo(f.u1.Label6->font()).pixelSize(), 13);
        QCOMPARE(QFontInfo(f.u2.Edit2->font()).pixelSize(), 13);
        QCOMPARE(QFontInfo(f.ua.ProductName->font()).pixelSize(), 19);
        QCOMPARE(QFontInfo(f.u3.Label2->font()).pixelSize(), 11);
    }

    // A caption wider than its control is cut off on screen (labels) or runs over the bevel
    // (buttons); hidden controls count too, they are shown later.
    void captionsFit() {
        Forms f;
        for (QWidget* form : f.all()) {
            for (QWidget* w : designed(form)) {
                const QFontMetrics fm(w->font());
                if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().trimmed().isEmpty()) {
                    const QRect room = label->contentsRect();
                    QVERIFY2(fm.horizontalAdvance(label->text()) <= room.width() && fm.height() <= room.height(),
                             qPrintable(QStringLiteral("%1 (%2x%3) is too small for \"%4\" (%5x%6)")
                                            .arg(describe(w))
                                            .arg(room.width())
                                            .arg(room.height())
                                            .arg(label->text())
                                            .arg(fm.horizontalAdvance(label->text()))
                                            .arg(fm.height())));
                } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
                    const QStyle* s = check->style();
                    const int need = s->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                                     s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check) +
                                     fm.horizontalAdvance(check->text());
                    QVERIFY2(need <= check->width(), qPrintable(describe(w) + " is too narrow for " + check->text()));
                } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
                    const QStyle* s = radio->style();
                    const int need = s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio) +
                                     s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio) +
                                     fm.horizontalAdvance(radio->text());
                    QVERIFY2(need <= radio->width(), qPrintable(describe(w) + " is too narrow for " + radio->text()));
                } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                    // Clear of the two-pixel bevel, with a pixel of air, on either side.
                    QVERIFY2(fm.horizontalAdvance(button->text()) + 6 <= button->width(),
                             qPrintable(describe(w) + " is too narrow for " + button->text()));
                }
            }
        }
    }

    // Every control lies inside its parent, and no control or label covers another; only
    // the picture panes are meant to lie over other things.
    void controlsStayInsideAndApart() {
        Forms f;
        for (QWidget* form : f.all()) {
            const QList<QWidget*> controls = designed(form);
            for (QWidget* w : controls)
                QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
                         qPrintable(describe(w) + " sticks out of its parent"));
            QList<QWidget*> solid;
            for (QWidget* w : controls)
                if (!qobject_cast<PicturePane*>(w) && !isContainer(w)) solid.append(w);
            for (qsizetype i = 0; i < solid.size(); ++i)
                for (qsizetype j = i + 1; j < solid.size(); ++j)
                    QVERIFY2(!inWindow(solid[i]).intersects(inWindow(solid[j])),
                             qPrintable(describe(solid[i]) + " overlaps " + describe(solid[j])));
        }
    }

    // The states the window classes start from: hidden, disabled, default and editable
    // controls, list contents, the status bar panels.
    void initialStates() {
        Forms f;
        QVERIFY(f.u1.Pbar1->isHidden());
        QCOMPARE(f.u1.Pbar1->minimum(), 0);
        QCOMPARE(f.u1.Pbar1->maximum(), 100);
        QVERIFY(!f.u1.CheckBox1->isEnabled());
        QVERIFY(f.u2.Button4->isHidden());
        QVERIFY(!f.u2.ListBox3->isHidden());
        for (QWidget* w :
             {static_cast<QWidget*>(f.u2.Label2), static_cast<QWidget*>(f.u2.Edit2), static_cast<QWidget*>(f.u2.Label3),
              static_cast<QWidget*>(f.u2.Edit3), static_cast<QWidget*>(f.u2.Label4), static_cast<QWidget*>(f.u2.Edit4)})
            QVERIFY2(!w->isEnabled(), qPrintable(describe(w)));
        QVERIFY(!f.u2.Cbsim->isChecked());
        QVERIFY(f.u2.Button2->isDefault());
        QVERIFY(f.u4.Button1->isDefault());
        QVERIFY(f.ua.OKButton->isDefault());
        QVERIFY(f.u2.ComboBox1->isEditable() && f.u3.Comb->isEditable() && f.u4.ComboBox1->isEditable());
        QCOMPARE(f.u3.Comb->count(), 4);
        QCOMPARE(f.u2.ListView1->columnCount(), 2);
        QCOMPARE(f.u2.ListView1->topLevelItemCount(), 4);
        QCOMPARE(f.u2.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(f.u1.StatusBar1->findChildren<QLabel*>().size(), 3);
        QCOMPARE(f.u1.Panel2->geometry().right(), f.u1.StatusBar1->width() - 1);  // the last panel takes the rest
    }

    // The phone list shows its four rows whole, without scroll bars, once the settings window
    // has given its columns their widths (the form format cannot say them).
    void phoneListShowsFourRows() {
        Forms f;
        QTreeWidget* list = f.u2.ListView1;
        list->setColumnWidth(0, 180);
        list->setColumnWidth(1, 60);
        f.form2.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.form2));
        QVERIFY(!list->verticalScrollBar()->isVisible());
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        for (int row = 0; row < 4; ++row)
            QVERIFY2(list->viewport()->rect().contains(list->visualItemRect(list->topLevelItem(row))),
                     qPrintable(QStringLiteral("row %1 is cut off").arg(row)));
    }

    void toolImages() {
        Forms f;
        QList<QImage> seen;
        for (QToolButton* b : {f.u1.ToolButton1, f.u1.ToolButton2, f.u1.ToolButton4, f.u1.ToolButton6, f.u1.ToolButton8,
                               f.u1.ToolButton10}) {
            const QImage img = b->icon().pixmap(QSize(16, 16)).toImage();
            QVERIFY2(!img.isNull(), qPrintable(describe(b) + " has no image"));
            QCOMPARE(img.size(), QSize(16, 16));
            QVERIFY2(!seen.contains(img), qPrintable(describe(b) + " repeats an image"));
            seen.append(img);
            QVERIFY(b->text().isEmpty() && b->toolTip().isEmpty());
            QCOMPARE(b->width(), 23);
        }
    }

    // Image1 comes after the other panes and the file-name labels, so its picture covers them
    // exactly as far as it reaches, and they show wherever it does not.
    void firstPictureCoversOthersWhereItReaches() {
        Forms f;
        const QRgb red = qRgb(230, 0, 0), blue = qRgb(0, 0, 230);
        f.u1.Label2->setText(QStringLiteral("foto\\140509_071226f17"));  // lies under Image1's picture
        f.u1.Image1->setPicture(filled(QSize(400, 160), red));           // reaches x 8..407, y 37..196
        f.u1.Image2->setPicture(filled(QSize(177, 137), blue));          // at 336,37
        const QImage shot = f.form1.grab().toImage();

        QVERIFY(allPixels(shot, QRect(336, 37, 72, 137), red));    // Image2 under Image1's picture
        QVERIFY(allPixels(shot, QRect(408, 37, 105, 137), blue));  // the rest of Image2
        QVERIFY(allPixels(shot, QRect(32, 181, 300, 13), red));    // Label2 under it too
        const QRgb background = f.form1.palette().color(QPalette::Window).rgb();
        QVERIFY(allPixels(shot, QRect(8, 200, 300, 20), background));  // below the picture: nothing
    }

    // The event caption lies under Image1 too, but its text sits at the bottom of its box, so
    // even the largest picture the unit sends (640x480, clipped by the pane at 476 rows)
    // leaves it readable.
    void eventCaptionClearOfLargestPicture() {
        Forms f;
        f.u1.Label1->setText(QStringLiteral("14.05.2009 07:12:26  3 фото"));
        const QRgb white = qRgb(255, 255, 255);
        f.u1.Image1->setPicture(filled(QSize(640, 480), white));
        const QImage shot = f.form1.grab().toImage();
        const QRect box = f.u1.Label1->geometry();
        const int pictureBottom = f.u1.Image1->geometry().bottom();
        QVERIFY(allPixels(shot, QRect(box.left(), box.top(), box.width(), pictureBottom - box.top() + 1), white));
        const QRgb background = f.form1.palette().color(QPalette::Window).rgb();
        const QRect below(box.left(), pictureBottom + 1, box.width(), box.bottom() - pictureBottom);
        int ink = 0, top = below.bottom();
        for (int y = below.top(); y <= below.bottom(); ++y)
            for (int x = below.left(); x <= below.right(); ++x)
                if ((shot.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) {
                    ++ink;
                    top = qMin(top, y);
                }
        QVERIFY2(ink > 50, "the caption is hidden under the picture");
        // Nothing of the text was cut: its tallest glyphs start below the picture, not at its edge.
        QVERIFY(top > pictureBottom + 1);
    }

    // With an empty archive the panes show the 32x32 placeholder at their top-left corners;
    // the rest of each pane shows what lies beneath.
    void placeholderAtEachCorner() {
        Forms f;
        const QImage placeholder = plat::placeholderPicture().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(placeholder.size(), QSize(32, 32));
        PicturePane* panes[] = {f.u1.Image1, f.u1.Image2, f.u1.Image3, f.u1.Image4};
        for (PicturePane* pane : panes) pane->setPicture(placeholder);
        const QImage shot = f.form1.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb background = f.form1.palette().color(QPalette::Window).rgb();
        for (PicturePane* pane : panes) {
            const QPoint at = pane->pos();
            QCOMPARE(shot.copy(QRect(at, QSize(32, 32))), placeholder);
            QVERIFY2(allPixels(shot, QRect(at + QPoint(32, 0), QSize(100, 100)), background),
                     qPrintable(describe(pane)));
            QVERIFY2(allPixels(shot, QRect(at + QPoint(0, 32), QSize(100, 100)), background),
                     qPrintable(describe(pane)));
        }
    }

    // A pane keeps its picture when a file cannot be shown.
    void aFileThatGivesNoPictureShowsTheMark() {
        PicturePane pane;
        pane.setPicture(filled(QSize(8, 8), qRgb(1, 2, 3)));
        const QString missing = QDir::temp().filePath(QStringLiteral("ravlo-no-such-picture.jpg"));
        QCOMPARE(pane.showFile(missing, QStringLiteral("foto\\x.jpg")), PicturePane::Fault::Missing);
        QVERIFY(pane.picture().isNull());
        QCOMPARE(pane.file(), missing);
        QCOMPARE(pane.name(), QStringLiteral("foto\\x.jpg"));
        QVERIFY(pane.drawnAt(QPoint(1, 1)));
    }
};

QTEST_MAIN(TestLayouts)
#include "test_layouts.moc"
