#pragma once

#include <QColor>
#include <QWidget>

namespace zpc::controls {

// A filled rectangle with rounded corners that can hold other controls.
class RoundRectangle : public QWidget {
    Q_OBJECT
public:
    explicit RoundRectangle(QWidget* parent = nullptr);

    void setOval(int width, int height);
    void setFillColor(const QColor& color);
    // A width of 0 draws no border.
    void setBorder(const QColor& color, int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int mOvalWidth = 16;
    int mOvalHeight = 16;
    QColor mFill = Qt::white;
    QColor mBorder = Qt::black;
    int mBorderWidth = 1;
};

}  // namespace zpc::controls
