#pragma once
// A picture pane: shows one picture at its own size from the pane's top-left corner, clipped
// to the pane, never stretched or centred. It paints nothing else, so outside its picture the
// pane is transparent and whatever lies beneath it (earlier siblings, the window) shows.
// A file that gives no picture is shown as a "no picture" mark of a fixed size in the same
// corner: a grey frame with a cross, drawn by the pane itself. A fitting pane instead scales
// its picture to fit, keeping its proportions, and centres it and the mark.
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
    // The size of the mark, or less in a smaller pane: small enough that the large top-left
    // pane, drawn over the others, covers neither its neighbours nor its own caption with it.
    static constexpr QSize kMarkSize{160, 120};

    explicit PicturePane(QWidget* parent = nullptr);

    // Decodes a JPEG file and shows it; `name` is how the picture is known to the operator
    // (its stored name), empty for the placeholder. A file that is missing, cannot be read or
    // does not decode is shown as the mark, keeping its file and name, and the result says why.
    Fault showFile(const QString& path, const QString& name = {});
    // Shows a picture that has no file or name of its own.
    void setPicture(const QImage& picture);
    // Whether the pane fits its picture into its room instead of showing it at its own size:
    // for a window that shows whole pictures side by side.
    void setFit(bool on);
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

    QImage picture_;
    QString file_;
    QString name_;
    Fault fault_ = Fault::None;
    bool fit_ = false;
};
