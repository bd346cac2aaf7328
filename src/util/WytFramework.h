#pragma once

#include "platform/FolderItem.h"

#include <QString>

// Stateless helpers shared by the model, the archive and the editor.
namespace zpc::util::WytFramework {

// A time-stamped identifier, YYYYMMDDhhmmss.nnnnnn.nnnnnn.
QString createUID();

// The text after the last "." of the item's name, as stored; empty when the
// name has no "." (or ends in one). Raises NilObjectException for nil.
QString fileExtension(const platform::FolderItemPtr& item);

// Result codes of recursiveDelete.
enum : int { kDeleteMissingOrLocked = -50, kDeleteNoShell = 101, kDeleteShellNotRunning = 666 };

// Removes a file or a folder tree with "rm -R". Answers -50 without running
// anything for a missing or locked item, 0 after a silent run, the exit code
// when the command printed something, 101 or 666 for a shell failure.
// Raises NilObjectException for nil.
int recursiveDelete(const platform::FolderItemPtr& item);

}  // namespace zpc::util::WytFramework
