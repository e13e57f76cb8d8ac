#pragma once
#include <QImage>
#include <QWidget>
class PicturePane : public QWidget {
    Q_OBJECT
public:
    explicit PicturePane(QWidget* parent = nullptr) : QWidget(parent) {}
    void loadFile(const QString& path);
    void setPicture(const QImage& img) { img_ = img; update(); }
    const QImage& picture() const { return img_; }
private:
    QImage img_;
};
namespace plat { QImage placeholderPicture(); }
