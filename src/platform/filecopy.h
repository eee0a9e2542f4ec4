// Copying a file byte for byte, replacing the target.
#pragma once

#include <QString>

// Copies source to target, replacing a file of that name. The copy is written under a
// temporary name beside the target and renamed into place, so an interrupted copy never
// leaves a cut file that looks complete. False when anything failed; the target is then
// as it was.
bool CopyFileReplacing(const QString& source, const QString& target);
