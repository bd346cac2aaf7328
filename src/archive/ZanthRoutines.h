#pragma once

#include "archive/PluginArchive.h"
#include "platform/FolderItem.h"

#include <QString>

namespace zpc::archive {

// The zip and unzip routines handed to archives as their delegates by every
// front end. Failures are shown through the UI services.

// Zips the folder into the package; a failure shows zip's output. False when
// no package was made (also for a nil folder or one that is no directory).
bool compressZanthFolder(const platform::FolderItemPtr& folder,
                         const platform::FolderItemPtr& package);
// Unpacks the package into the empty extraction folder and answers the
// plugin's folder in it; a failure shows the error dialog. Nil when there is
// nothing to read.
platform::FolderItemPtr decompressZanthFolder(const platform::FolderItemPtr& package,
                                              const platform::FolderItemPtr& extractionFolder);
// The error dialog: the message (or a general one when empty) with
// "Error code: " and the code.
void displayErrorDialog(const QString& message, int code);

// The two routines as delegates.
CompressDelegate zanthCompressDelegate();
model::DecompressDelegate zanthDecompressDelegate();

}  // namespace zpc::archive
