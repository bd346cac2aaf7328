#pragma once

#include <QApplication>
#include <functional>

namespace zpc::platform {

// The Qt application with the one top-level handler: a failure that no code
// caught is shown (through the handler) and the application keeps running.
class GuardedApplication : public QApplication {
public:
    using FailureHandler = std::function<void(const QString& message, int code)>;

    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    static void setFailureHandler(FailureHandler handler);
    // Shows a caught failure through the handler (also used by main()).
    static void reportFailure(const std::exception& failure);
};

}  // namespace zpc::platform
