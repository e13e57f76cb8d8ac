#include "app/aboutbox.h"
#include "platform/toolkit.h"
#include "ui_aboutbox.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(267, 173);
    ui->OKButton->setDefault(true);
    connect(ui->OKButton, &QPushButton::clicked, this, [this] { done(plat::mrOk); });
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window that owns it (where a dialog opens by
    // default).
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // move() places the frame, so the frame is what gets centred.
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}
