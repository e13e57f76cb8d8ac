#pragma once
// A picture pane: shows one picture at its own size from the pane's top-left corner, clipped
// to the pane, never stretched or centred. It paints nothing else, so outside its picture the
// pane is transparent and whatever lies beneath it (earlier siblings, the window) shows.
#include <QImage>
#include <QString>
#include <QWidget>

class PicturePane : public QWidget {
    Q_OBJECT
public:
    explicit PicturePane(QWidget* parent = nullptr);

    // Decodes a JPEG file and shows it; `name` is how the picture is known to the operator
    // (its stored name), empty for the placeholder. Throws plat::ToolkitError naming the
    // file when it cannot be read or decoded; the pane then keeps what it had.
    void loadFile(const QString& path, const QString& name = {});
    // Shows a picture that has no file or name of its own.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // The file and the name of the picture shown, both empty when it has none.
    const QString& file() const { return file_; }
    const QString& name() const { return name_; }
    // Whether the picture is drawn at this point of the pane (inside the pane and the picture).
    bool drawnAt(const QPoint& at) const;

signals:
    void doubleClicked(QPoint at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void put(const QImage& picture, const QString& file, const QString& name);

    QImage picture_;
    QString file_;
    QString name_;
};
