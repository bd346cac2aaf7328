#pragma once

#include "platform/FileType.h"

#include <vector>

// The table of file types, made once at start-up and kept for the process.
namespace zpc::app::FileTypesApp {

void create();
void release();

// "special/any": the filter of the Open... and Old Plugin Format... dialogs.
const platform::FileType& SpecialAny();
// "New Plugin File": the extension and codes of the packages a conversion writes.
const platform::FileType& NewPluginFile();
// All six, in table order (for inspection).
const std::vector<platform::FileType>& table();

}  // namespace zpc::app::FileTypesApp
