#include "viewer/wholepicture.h"

#include "app/tform1.h"
#include "platform/cp1251.h"
#include "platform/picturepane.h"
#include "viewer/export.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <memory>

WholePicture::WholePicture(const QImage& picture, const QString& name, const QString& file, TForm1& main,
                           QWidget* owner)
    : QScrollArea(owner), form1(main), name_(name), file_(file) {
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(name);
    setFrameShape(QFrame::NoFrame);
    // The bar with the button, above the picture, in a margin of the scroll area's own.
    bar_ = new QWidget(this);  // a child: deleted with the window
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(4, 2, 4, 2);
    button_ = new QPushButton(QStringLiteral("Сохранить"), bar_);
    button_->setToolTip(QStringLiteral("Сохранить копию снимка (Ctrl+S)"));
    button_->setFocusPolicy(Qt::NoFocus);
    status_ = new QLabel(bar_);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(button_);
    row->addWidget(status_, 1);
    const int barHeight = bar_->sizeHint().height();
    setViewportMargins(0, barHeight, 0, 0);
    connect(button_, &QPushButton::clicked, this, [this] { form1.handle([&] { save(); }); });

    // The picture's own size, up to the room the screen has for a window as framed as the
    // owner; beyond that the scroll bars show the rest, and take room of their own.
    const QSize room = owner->screen()->availableGeometry().size() - (owner->frameGeometry().size() - owner->size());
    QSize size = picture.size() + QSize(0, barHeight);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (size.width() > room.width()) size.rheight() += bar;
    if (size.height() > room.height()) size.rwidth() += bar;
    resize(size.boundedTo(room));
    // The picture goes in at the window's own size, so that the scroll bars are decided by
    // that size and not by the size a new window has before it.
    auto pane = std::make_unique<PicturePane>();
    pane->setPicture(picture);
    pane->setFixedSize(picture.size());
    setWidget(pane.release());  // the scroll area owns it from here
}

void WholePicture::save() {
    QString base = name_;
    if (base.endsWith(QStringLiteral(".jpg"), Qt::CaseInsensitive)) base.chop(4);
    const QString suggested =
        QDir(form1.exportFolder).filePath(viewer::exportName(plat::toCp1251(base)) + QStringLiteral(".jpg"));
    const QString to = form1.sys.ui.saveFile(this, QStringLiteral("Сохранить снимок"), suggested);
    if (to.isEmpty()) return;
    form1.exportFolder = QFileInfo(to).absolutePath();
    const QString why = viewer::copyPicture(file_, to);
    status_->setText(why.isEmpty() ? QStringLiteral("Сохранён: ") + QDir::toNativeSeparators(to) : why);
    status_->setToolTip(status_->text());
}

void WholePicture::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->matches(QKeySequence::Save)) {
        form1.handle([&] { save(); });
        return;
    }
    QScrollArea::keyPressEvent(event);
}

void WholePicture::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    bar_->setGeometry(0, 0, width(), viewportMargins().top());
}
