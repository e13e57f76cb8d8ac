#include "platform/picturepane.h"

#include "platform/jpeg.h"
#include "platform/toolkit.h"
#include "platform/trace.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {}

PicturePane::Fault PicturePane::showFile(const QString& path, const QString& name) {
    QImage picture;
    Fault fault = Fault::None;
    try {
        picture = plat::loadJpegFile(path);
    } catch (const plat::ToolkitError& error) {
        // Whatever the library said, the operator needs to know one thing: whether the file
        // has gone (deleted to free the disk) or is there but gives no picture (empty, cut
        // short, damaged, no JPEG, no permission). The library's words go to the trace.
        fault = QFileInfo::exists(path) ? Fault::Unreadable : Fault::Missing;
        qCInfo(lcArchive, "picture not shown: %s", qUtf8Printable(error.text()));
    }
    put(picture, path, name, fault);
    return fault;
}

void PicturePane::setPicture(const QImage& picture) { put(picture, {}, {}, Fault::None); }

QString PicturePane::faultText(Fault fault) {
    switch (fault) {
    case Fault::None: break;
    case Fault::Missing: return QStringLiteral("нет файла");
    case Fault::Unreadable: return QStringLiteral("не читается");
    }
    return {};
}

void PicturePane::put(const QImage& picture, const QString& file, const QString& name, Fault fault) {
    // Only the part covered by the old or the new picture (or mark) changes.
    const QRect before = drawnRect();
    picture_ = picture;
    file_ = file;
    name_ = name;
    fault_ = fault;
    update(before | drawnRect());
}

void PicturePane::setPlacing(Placing placing, const QRect& room) {
    placing_ = placing;
    room_ = room;
    update();
}

QRect PicturePane::drawnRect() const {
    const QRect space = room();
    const QSize own = picture_.size();
    const bool fits = own.width() <= space.width() && own.height() <= space.height();
    const QSize drawn = fault_ != Fault::None ? kMarkSize.boundedTo(space.size())
                        : placing_ == Placing::Fit || (placing_ == Placing::Shrink && !fits)
                            ? own.scaled(space.size(), Qt::KeepAspectRatio)
                            : own;
    if (placing_ != Placing::Fit) return QRect(space.topLeft(), drawn);
    const QSize margin = (space.size() - drawn) / 2;
    return QRect(space.topLeft() + QPoint(margin.width(), margin.height()), drawn);
}

bool PicturePane::drawnAt(const QPoint& at) const { return rect().contains(at) && drawnRect().contains(at); }

void PicturePane::paintEvent(QPaintEvent* event) {
    if (fault_ == Fault::None && picture_.isNull()) return;
    QPainter painter(this);
    painter.setClipRect(event->rect() & room());
    if (fault_ == Fault::None) {
        const QRect drawn = drawnRect();
        if (drawn.size() == picture_.size()) {
            painter.drawImage(drawn.topLeft(), picture_);  // at its own size: clipped, never scaled
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(drawn, picture_);
        return;
    }
    // The mark: a light grey card with a darker frame and a cross from corner to corner, so
    // that it reads as "no picture here" and never as a dark or damaged picture.
    const QRect mark = drawnRect();
    painter.fillRect(mark, QColor(0xE4, 0xE4, 0xE4));
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    const QRect inner = mark.adjusted(0, 0, -1, -1);  // a 1-pixel pen draws right of and below its line
    painter.drawRect(inner);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawLine(inner.topLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomLeft());
}

void PicturePane::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked(event->position().toPoint());
    event->accept();
}
