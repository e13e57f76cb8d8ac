#include "platform/picturepane.h"

#include "platform/jpeg.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {}

void PicturePane::loadFile(const QString& path, const QString& name) {
    put(plat::loadJpegFile(path), path, name);  // throws before anything changes
}

void PicturePane::setPicture(const QImage& picture) { put(picture, {}, {}); }

void PicturePane::put(const QImage& picture, const QString& file, const QString& name) {
    // Only the part covered by the old or the new picture changes.
    const QRect changed = QRect(QPoint(0, 0), picture_.size()) | QRect(QPoint(0, 0), picture.size());
    picture_ = picture;
    file_ = file;
    name_ = name;
    update(changed);
}

bool PicturePane::drawnAt(const QPoint& at) const {
    return rect().contains(at) && QRect(QPoint(0, 0), picture_.size()).contains(at);
}

void PicturePane::paintEvent(QPaintEvent* event) {
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.drawImage(QPoint(0, 0), picture_);
}

void PicturePane::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked(event->position().toPoint());
    event->accept();
}
