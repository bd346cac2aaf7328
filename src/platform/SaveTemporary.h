#pragma once

#include <QByteArray>

namespace zpc::platform {

// Whole-file saves write "." + target + "." + 8 letters + ".tmp" beside the
// target and rename it into place. The save holds a lock on the file while it
// runs, so a later save tells a file a killed save left from one in use.
struct SaveTemporary {
    int fd = -1;  // open for reading and writing; -1 when none could be made
    QByteArray path;
};

// Removes the temporaries of the target that killed saves left in folder,
// then creates and locks a new one.
SaveTemporary createSaveTemporary(const QByteArray& folder, const QByteArray& targetName);

// Takes the lock that marks a temporary file or folder as in use. Where the
// file system has no locks the save goes on unlocked: what it leaves is then
// never removed, since no later save can lock it either.
bool lockInUse(int fd);

// True when fd still refers to what is at path (nothing replaced it).
bool sameFile(int fd, const QByteArray& path);

}  // namespace zpc::platform
