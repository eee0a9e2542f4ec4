// Copying a file byte for byte, replacing the target.
#pragma once

#include <QString>

// Copies source to target, replacing a file of that name, by the rules of AtomicFile: a
// read-only target or folder is refused and left alone, a replaced file keeps its
// permissions, a new one follows the umask, and a symbolic link is written through. The
// copy is written under a temporary name beside the target and renamed into place, so an
// interrupted copy never leaves a cut file that looks complete. False when anything
// failed; the target is then as it was.
bool CopyFileReplacing(const QString& source, const QString& target);
