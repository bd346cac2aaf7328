#include "platform/qt/GuardedApplication.h"

#include "platform/Exceptions.h"

#include <QMessageBox>
#include <cstdio>

namespace zpc::platform {

namespace {
GuardedApplication::FailureHandler& handler() {
    static GuardedApplication::FailureHandler h;
    return h;
}
}  // namespace

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void GuardedApplication::setFailureHandler(FailureHandler h) { handler() = std::move(h); }

void GuardedApplication::reportFailure(const std::exception& failure) {
    QString message;
    int code = -1;
    if (auto* f = dynamic_cast<const FrameworkException*>(&failure)) {
        message = QStringLiteral("%1: %2").arg(QLatin1String(f->kind()), f->message());
        code = f->errorNumber();
    } else {
        message = QStringLiteral("Unexpected failure: %1").arg(QString::fromUtf8(failure.what()));
    }
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    if (handler()) {
        handler()(message, code);
    } else {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), message);
    }
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        reportFailure(failure);
    } catch (...) {
        reportFailure(std::runtime_error("unknown failure"));
    }
    return false;
}

}  // namespace zpc::platform
