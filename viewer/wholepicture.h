#pragma once
// A picture at its own size in a window of its own, for the operator to see what a pane
// shows only in part. The window is modeless and goes away when it is closed (Esc or its
// close box); several may be open, each over the window that opened it. Its button
// "Сохранить" (and Ctrl+S) saves a copy of the picture's file, byte for byte, under a name
// that tells its time.
#include <QImage>
#include <QScrollArea>
#include <QString>

class TForm1;
class QLabel;
class QPushButton;

class WholePicture : public QScrollArea {
    Q_OBJECT
public:
    // `name`: the picture's stored name with ".jpg", the window's title; `file`: its file.
    WholePicture(const QImage& picture, const QString& name, const QString& file, TForm1& main, QWidget* owner);

    // Asks where to save the copy, proposing its time as the name in the folder last used.
    void save();
    QPushButton* saveButton() const { return button_; }
    QLabel* status() const { return status_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TForm1& form1;
    QString name_, file_;
    QWidget* bar_;
    QPushButton* button_;
    QLabel* status_;
};
