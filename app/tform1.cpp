// The main window: construction, the remembered port, closing, and the bindings of every
// control to its handler.
#include "app/tform1.h"
#include "acquisition/archive.h"
#include "app/aboutbox.h"
#include "app/tform4.h"
#include "config/tform2.h"
#include "platform/cp1251.h"
#include "platform/jpeg.h"
#include "platform/picturepane.h"
#include "viewer/tform5.h"
#include "ui_tform1.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>

TForm1::TForm1(plat::Platform& platform, QWidget* parent)
    : QWidget(parent), sys(platform), ui(std::make_unique<Ui::TForm1>()) {
    ui->setupUi(this);
    setWindowTitle(kName);
    resize(796, 555);
    move(97, 46);
    const QImage placeholder = plat::placeholderPicture();
    for (PicturePane* pane : {ui->Image1, ui->Image2, ui->Image3, ui->Image4}) {
        pane->setPicture(placeholder);
        connect(pane, &PicturePane::doubleClicked, this,
                [this, pane](QPoint at) { handle([&] { ImageDblClick(pane->mapTo(this, at)); }); });
    }

    Timer1.setInterval(1000);
    Timer1.setSingleShot(false);

    auto bind = [this](auto* control, auto signal, void (TForm1::*method)()) {
        connect(control, signal, this, [this, method] { handle([&] { (this->*method)(); }); });
    };
    bind(ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(ui->ToolButton6, &QToolButton::clicked, &TForm1::Button1Click);
    bind(ui->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(ui->Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(ui->ToolButton4, &QToolButton::clicked, &TForm1::Button3Click);
    bind(ui->Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(ui->ToolButton8, &QToolButton::clicked, &TForm1::Button4Click);
    bind(ui->BtOtmena, &QPushButton::clicked, &TForm1::BtOtmenaClick);
    bind(ui->Button5, &QPushButton::clicked, &TForm1::Button5Click);
    bind(ui->Button6, &QPushButton::clicked, &TForm1::Button6Click);
    bind(ui->Button7, &QPushButton::clicked, &TForm1::Button7Click);
    bind(ui->Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(ui->ToolButton2, &QToolButton::clicked, &TForm1::ToolButton2Click);
    bind(ui->ToolButton10, &QToolButton::clicked, &TForm1::ToolButton10Click);
    bind(ui->ToolButton11, &QToolButton::clicked, &TForm1::ToolButton11Click);
    bind(ui->ToolButton12, &QToolButton::clicked, &TForm1::ToolButton12Click);
    // The check box's handler also runs when the program changes it.
    bind(ui->CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    bind(&Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    // Panel 1's menu (a right click): the operator who needs the port for the cable stops the
    // station listening; Инициализ. starts it again.
    auto* stop = new QAction(QStringLiteral("Не принимать звонки"), ui->Panel1);  // the panel owns it
    ui->Panel1->addAction(stop);
    ui->Panel1->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(stop, &QAction::triggered, this, [this] { handle([this] { stoplistening(); }); });
    // The window's keys reach eventFilter from the window and from every control on it.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // Where the desktop has a system tray, the program's icon stays there while it runs.
    if (sys.notices.trayAvailable()) {
        sys.notices.showTray(*this);
        tray = true;
    }

    // The watch station reads the lists and the journal as this window keeps them, and hears
    // what happens from its signals.
    watch = std::make_unique<watch::Watch>(sys, watch::Archive{ListBox1, ListBox2, calls, &callers}, *this, this);
    connect(this, &TForm1::callEnded, watch.get(),
            [this](const journal::Call& line) { handle([&] { watch->callEnded(line); }); });
    connect(this, &TForm1::filed, watch.get(), [this] { handle([&] { watch->filed(); }); });
    connect(this, &TForm1::shown, watch.get(),
            [this](const QList<QByteArray>& names) { handle([&] { watch->shown(names); }); });

    portname = QStringLiteral("COM1");
    rereg();
    setPanel(0, portname);
    handle([this] { FormCreate(); });
    // A station that listened when it last ran (the PC restarted, the program was killed)
    // listens again: the poll's first tick, once the window is up, prepares the modem.
    if (sys.store.listened()) {
        listening = 1;
        Timer1.start();
    }
}

TForm1::~TForm1() = default;

void TForm1::attach(TForm2* settings, TForm4* portDialog, TAboutBox* about, TForm5* archive) {
    form2 = settings;
    form4 = portDialog;
    aboutBox = about;
    form5 = archive;
    // The settings have given the unit's number by now: the book is read, and holds it.
    handle([this] { watch->start(telobj); });
}

void TForm1::rereg() {
    // Nothing remembered (no store, a store without "pr", or an empty "pr"): keep "COM1".
    if (auto stored = sys.store.load(); stored && !stored->isEmpty()) portname = sys.ports.stableName(*stored);
}

void TForm1::wrreg() { sys.store.save(portname); }

void TForm1::saveLists() {
    if (!picturesUnread) ListBox1.save(archive::pictureList);
    if (!eventsUnread) ListBox2.save(archive::eventList);
}

void TForm1::FormClose() {
    // The port choice is stored even when a list file cannot be written (a full disk, a
    // read-only folder): the toolkit error is shown, and the choice is not lost with it.
    const auto storePort = qScopeGuard([this] { wrreg(); });
    saveLists();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    bool taken = false;
    if (mods == Qt::ControlModifier && key->key() == Qt::Key_F) {
        handle([&] { ToolButton11Click(); });
        taken = true;
    } else if (mods == Qt::ControlModifier && key->key() == Qt::Key_O) {
        handle([&] { ToolButton12Click(); });
        taken = true;
    } else if (mods == Qt::NoModifier) {
        handle([&] { taken = pagekey(key->key()); });
    }
    return taken || QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The close box asks as "Выход" does. A close that is not the desktop's (the program's own,
    // or the end of the session) asks nothing.
    if (!closing && event->spontaneous() && !mayQuit()) {
        event->ignore();
        return;
    }
    // Every waiting loop sees this at its next pass and ends; no further attempt is made.
    closing = true;
    otmena = 1;
    Timer1.stop();
    handle([this] { FormClose(); });
    handle([this] { watch->finish(); });
    event->accept();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The status bar stays at the bottom and takes the window's width; its last panel the rest.
    ui->StatusBar1->setGeometry(0, height() - 19, width(), 19);
    ui->Panel2->setGeometry(200, 0, std::max(50, width() - 200), 19);
    ui->ToolBar1->resize(width(), ui->ToolBar1->height());
}

void TForm1::setPanel(int index, const QString& text) {
    QLabel* panels[] = {ui->Panel0, ui->Panel1, ui->Panel2};
    if (index < 0 || index >= 3) return;
    panels[index]->setText(text);
    // The panels are as narrow as they were for "COM1"; a Linux device name is read in full here.
    // Panel 1 of a port that did not open says why in its tool tip.
    // Panel 1 of a station that tries its modem again says when the next try comes.
    QString tip = index == 1 && !portwhy.isEmpty() ? portwhy : text;
    if (index == 1 && !retryText.isEmpty()) tip += '\n' + retryText;
    panels[index]->setToolTip(tip);
    if (tray) {
        QStringList texts;
        for (const QLabel* p : panels) {
            if (!p->text().isEmpty()) texts << p->text();
        }
        sys.notices.setTrayTip(texts.join(QStringLiteral(" | ")));
    }
}

QString TForm1::panel(int index) const {
    const QLabel* panels[] = {ui->Panel0, ui->Panel1, ui->Panel2};
    return index >= 0 && index < 3 ? panels[index]->text() : QString();
}

void TForm1::showtelobj() {
    ui->Label7->setText(plat::fromCp1251(telobj));
    // The unit of the settings is always in the book.
    watch->unitNumberChanged(telobj);
}

void TForm1::ToolButton2Click() {
    if (form4) form4->exec();
}

void TForm1::ToolButton10Click() {
    if (aboutBox) aboutBox->exec();
}

void TForm1::ToolButton11Click() {
    if (form5) form5->open();
}

void TForm1::ToolButton12Click() { watch->openBoard(); }

void TForm1::openArchive(const watch::Filter& filter, int event) {
    if (form5) form5->open(filter, event);
}
