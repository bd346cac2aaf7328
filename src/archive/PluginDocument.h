#pragma once

#include "archive/PluginArchive.h"
#include "platform/FolderItem.h"

#include <memory>

namespace zpc::archive {

// What the application's Open... and Convert commands do, without any window
// or dialog, so that every front end opens and converts plugins the same way.

// Reads a plugin in any of its forms (a folder hierarchy, a ".kvx", a
// ".zanth_plugin", a ".prjkvx"); a folder that is no plugin itself is searched
// for the first plugin folder below it. Nil for a nil entry and for a folder
// without any plugin. An archive without data source means the entry was
// recognised in no form.
std::shared_ptr<PluginArchive> openPluginDocument(const platform::FolderItemPtr& entry,
                                                  model::DecompressDelegate decompressor);

// The first plugin folder at or below the folder, read with a renamable root
// and no decompressor; nil when there is none.
std::shared_ptr<PluginArchive> scanPluginFolder(const platform::FolderItemPtr& folder);

// Converts the source (a folder hierarchy, or an old single-file plugin) into
// a new single-file package written to the given file. True only when the
// package was written completely; only then does it get the Mac codes of a
// plugin package.
bool convertToPackage(const platform::FolderItemPtr& source,
                      const platform::FolderItemPtr& package);

// The Mac codes of a single-file plugin package.
QString packageMacCreator();
QString packageMacType();

}  // namespace zpc::archive
