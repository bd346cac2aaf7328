#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class QLineEdit;
class QPushButton;

namespace zpc::controls {

class Canvas;
class RoundRectangle;
class WytButton;

// A small dark panel with a pointer that floats over a window and asks for one
// line of text. Apply hands the text back and closes the bubble; the close
// button only closes it. A bubble lives until it is closed and is never reused.
class ContainerControlBubble : public QWidget {
    Q_OBJECT
public:
    using ActionBubble = std::function<void(const QString& text)>;
    using CloseBubble = std::function<void()>;

    // The bubble proper; the pointer reaches kPointerOverhang pixels past its
    // left edge, so the widget is that much wider and starts that much further left.
    static constexpr int kWidth = 312;
    static constexpr int kHeight = 74;
    static constexpr int kPointerOverhang = 4;

    explicit ContainerControlBubble(const QString& text, QWidget* parent = nullptr);

    // Called with the text when the user applies it.
    ActionBubble applyDelegate;
    // Called once when the bubble closes, whatever closed it: Apply, the close
    // button, Close(), or the closing of the window that holds it. A window
    // deleted without being closed takes the bubble with it without a call,
    // since its owner is already being torn down.
    CloseBubble closeDelegate;

    // Shows the bubble inside window with its top-left corner at left, top.
    void EmbedWithin(QWidget* window, int left, int top);
    int Height() const { return kHeight; }
    bool isClosed() const { return mClosed; }
    void Close();

    RoundRectangle* RoundRectangle1 = nullptr;
    QLineEdit* TextField1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    WytButton* Canvas1 = nullptr;
    Canvas* Canvas2 = nullptr;

signals:
    void Apply(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Canvas1_Open();
    void Canvas1_Action();
    void PushButton1_Action();

    QPointer<QWidget> mWatched;
    bool mWindowClosing = false;
    bool mClosed = false;
};

}  // namespace zpc::controls
