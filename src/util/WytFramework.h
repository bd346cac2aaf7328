#pragma once

#include "platform/FolderItem.h"

#include <QRect>
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

// Where a source of sw x sh is drawn inside a box of width x height: the whole
// source, proportions kept, centred; computed in double precision and
// truncated, so both fitting functions land on the same pixels.
QRect fittedRect(int sw, int sh, int width, int height);

// The source fitted into a new picture of width x height (see fittedRect).
// Nil for a nil source or a size of 0 or less; the source itself when asked
// for its own size. A picture without an alpha channel goes through
// pictureMasked with its mask (an opaque one is made when it has none).
platform::PicturePtr pictureScaled(const platform::PicturePtr& source, int width, int height);

// Like pictureScaled for a picture whose transparency is a separate mask: the
// mask is stretched into the same rectangle as the source. The margins are
// transparent. Nil when source or mask is nil or a size is 0 or less.
platform::PicturePtr pictureMasked(const platform::PicturePtr& source,
                                   const platform::PicturePtr& mask, int width, int height);

}  // namespace zpc::util::WytFramework
