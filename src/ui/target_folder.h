#pragma once
// The target box as Convert takes it: cut back to a folder.

#include <QString>

// While `text` holds "?" or "*", or names an existing file (a trailing "/"
// removed), it becomes the folder part of itself without that trailing "/":
// "/out/*.pdf" -> "/out/", an existing "/out/a.pdf" -> "/out/". Every step
// shortens the text, so the reduction always ends; a text that cannot be
// made a folder gives "". Reads the file system.
QString TkvReduceTarget(const QString& text);
