#pragma once
// A picture pane: shows one picture in its room (the whole pane, or a part of it) from the
// room's top-left corner, never stretched. It paints nothing else, so outside its picture the
// pane is transparent and whatever lies beneath it (earlier siblings, the window) shows.
// A file that gives no picture is shown as a "no picture" mark of a fixed size in the same
// corner: a grey frame with a cross, drawn by the pane itself. How a picture meets its room
// is the pane's placing: at its own size, shrunk to fit, or fitted and centred.
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

class PicturePane : public QWidget {
    Q_OBJECT
public:
    // Why a pane shows the mark instead of a file's picture.
    enum class Fault {
        None,        // the picture is shown
        Missing,     // there is no such file
        Unreadable,  // the file is there but cannot be read, or is no picture that decodes
    };
    Q_ENUM(Fault)
    // The size of the mark, or less in a smaller room: small enough that the large top-left
    // pane, drawn over the others, covers neither its neighbours nor its own caption with it.
    static constexpr QSize kMarkSize{160, 120};

    enum class Placing {
        AsIs,    // at its own size, clipped to the pane
        Shrink,  // a picture larger than the room is scaled down to fit it, proportions kept
        Fit,     // scaled up or down to fit the room, proportions kept, and centred in it
    };

    explicit PicturePane(QWidget* parent = nullptr);

    // Decodes a JPEG file and shows it; `name` is how the picture is known to the operator
    // (its stored name), empty for the placeholder. A file that is missing, cannot be read or
    // does not decode is shown as the mark, keeping its file and name, and the result says why.
    Fault showFile(const QString& path, const QString& name = {});
    // Shows a picture that has no file or name of its own.
    void setPicture(const QImage& picture);
    // How pictures meet the room, and the room: the part of the pane they are placed in, the
    // whole pane when it is empty. The mark is placed as a picture of its size would be.
    void setPlacing(Placing placing, const QRect& room = {});
    // The picture shown; a null image while the pane shows the mark.
    const QImage& picture() const { return picture_; }
    Fault fault() const { return fault_; }
    // The file and the name of the picture shown (or meant, under the mark), both empty when
    // it has none.
    const QString& file() const { return file_; }
    const QString& name() const { return name_; }
    // Whether the picture or the mark is drawn at this point of the pane.
    bool drawnAt(const QPoint& at) const;

    // What a caption says about a fault, in the operator's words; empty for Fault::None.
    static QString faultText(Fault fault);

signals:
    void doubleClicked(QPoint at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void put(const QImage& picture, const QString& file, const QString& name, Fault fault);
    // The part of the pane the picture or the mark covers.
    QRect drawnRect() const;
    QRect room() const { return room_.isEmpty() ? rect() : room_ & rect(); }

    QImage picture_;
    QString file_;
    QString name_;
    Fault fault_ = Fault::None;
    Placing placing_ = Placing::AsIs;
    QRect room_;
};
