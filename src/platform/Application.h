#pragma once

#include "platform/FolderItem.h"

namespace zpc::platform::Application {

// The running program's executable file.
FolderItemPtr ExecutableFile();

// The long version text ("ZanthPluginConverter 1.0.0 build 12"); the program
// sets it at start from its build settings.
QString LongVersion();
void setLongVersion(const QString& text);

}  // namespace zpc::platform::Application
