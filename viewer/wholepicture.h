#pragma once
// A picture at its own size in a window of its own, for the operator to see what a pane
// shows only in part. The window is modeless and goes away when it is closed (Esc or its
// close box); several may be open, each over the window that opened it.
#include <QImage>
#include <QScrollArea>
#include <QString>

class WholePicture : public QScrollArea {
    Q_OBJECT
public:
    WholePicture(const QImage& picture, const QString& title, QWidget* owner);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
