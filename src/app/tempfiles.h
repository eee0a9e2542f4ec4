// The clean-up at shut-down: the temporary bitmaps in their folder.
#pragma once

#include <QString>

// Deletes every regular, non-hidden file in folder that matches "*.bmp" (extension in any
// case) and whose name begins with "temp" in any case. A deletion that fails is passed
// over. Returns how many files were deleted.
int DeleteTempBitmaps(const QString& folder);
