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

    // Decodes a JPEG file and shows it. Throws plat::ToolkitError naming the file when it
    // cannot be read or decoded; the pane then keeps the picture it had.
    void loadFile(const QString& path);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
