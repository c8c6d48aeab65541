#pragma once
// The picture, scaled to the space it has with its shape kept, or a line
// saying why there is none yet.

#include <QImage>
#include <QString>
#include <QWidget>

class PictureView : public QWidget {
public:
    explicit PictureView(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    void SetMessage(const QString& message);
    // The rectangle the picture is drawn in, in the widget's pixels.
    QRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QString message_;
};
