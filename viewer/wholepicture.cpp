#include "viewer/wholepicture.h"

#include "platform/picturepane.h"

#include <QKeyEvent>
#include <QScreen>
#include <QStyle>

#include <memory>

WholePicture::WholePicture(const QImage& picture, const QString& title, QWidget* owner) : QScrollArea(owner) {
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setFrameShape(QFrame::NoFrame);
    auto pane = std::make_unique<PicturePane>();
    pane->setPicture(picture);
    pane->setFixedSize(picture.size());
    setWidget(pane.release());  // the scroll area owns it from here

    // The picture's own size, up to the room the screen has for a window as framed as the
    // owner; beyond that the scroll bars show the rest, and take room of their own.
    const QSize room =
        owner->screen()->availableGeometry().size() - (owner->frameGeometry().size() - owner->size());
    QSize size = picture.size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (size.width() > room.width()) size.rheight() += bar;
    if (size.height() > room.height()) size.rwidth() += bar;
    resize(size.boundedTo(room));
}

void WholePicture::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QScrollArea::keyPressEvent(event);
}
