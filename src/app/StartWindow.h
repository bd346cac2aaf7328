#pragma once

#include <QMainWindow>

class QPushButton;

namespace zpc::app {

// Where the platform has no global menu bar, this small window carries the
// menu bar while no editor window is open, with the commands that start
// something at hand. Closing it quits the application.
class StartWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StartWindow(QWidget* parent = nullptr);

    // The buttons, by the name of the menu item each one runs.
    QPushButton* button(const QString& itemName) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QList<QPushButton*> mButtons;
};

}  // namespace zpc::app
