#pragma once

#include "platform/FolderItem.h"

namespace zpc::archive {

// The first plugin folder (PluginArchive::isPluginDirectory) at or below the
// given folder, or nil. The folder itself comes first; then the search goes
// depth first, and of a folder's entries the one with the highest index is
// examined first (down to its deepest level) before the one before it.
// Symbolic links to folders are not followed: they may lead back up the tree.
platform::FolderItemPtr findPluginDirectory(const platform::FolderItemPtr& folder);

}  // namespace zpc::archive
