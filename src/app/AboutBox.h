#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace zpc::controls {
class Canvas;
}

namespace zpc::app {

// The About window: icon, name, version line and description, with OK.
class AboutBox : public QWidget {
    Q_OBJECT
public:
    // There is at most one About box: answers the open one, brought to the
    // front, or shows a new one. It deletes itself when closed.
    static AboutBox* showSingle();
    // The open About box, or nil.
    static AboutBox* instance();

    // The long version text without its first word ("Name 1.2 build 3" gives
    // "1.2 build 3"; a text without a blank gives "").
    static QString versionLine(const QString& longVersion);

    static const QString kDescription;

    controls::Canvas* Canvas1 = nullptr;
    QLabel* StaticText1 = nullptr;
    QLabel* StaticText11 = nullptr;
    QLabel* StaticText2 = nullptr;
    QPushButton* PushButton1 = nullptr;

protected:
    AboutBox();
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Canvas1_Open();
    void StaticText11_Open();
    void PushButton1_Action();
};

}  // namespace zpc::app
