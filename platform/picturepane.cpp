#include "platform/picturepane.h"

#include "platform/jpeg.h"

#include <QPaintEvent>
#include <QPainter>

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {}

void PicturePane::loadFile(const QString& path) {
    setPicture(plat::loadJpegFile(path));  // throws before anything changes
}

void PicturePane::setPicture(const QImage& picture) {
    // Only the part covered by the old or the new picture changes.
    const QRect changed = QRect(QPoint(0, 0), picture_.size()) | QRect(QPoint(0, 0), picture.size());
    picture_ = picture;
    update(changed);
}

void PicturePane::paintEvent(QPaintEvent* event) {
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.drawImage(QPoint(0, 0), picture_);
}
