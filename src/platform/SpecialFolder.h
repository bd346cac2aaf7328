#pragma once

#include "platform/FolderItem.h"

namespace zpc::platform::SpecialFolder {

// The user's Documents folder (the desktop's setting, else ~/Documents).
FolderItemPtr Documents();
// The system's temporary folder ($TMPDIR, else /tmp).
FolderItemPtr Temporary();

}  // namespace zpc::platform::SpecialFolder
