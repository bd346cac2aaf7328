#include "platform/Exceptions.h"

namespace zpc::platform {

FrameworkException::FrameworkException(const QString& message)
    : std::runtime_error(message.toStdString()), mMessage(message) {}

}  // namespace zpc::platform
