#pragma once

#include <QIcon>

namespace geminor {

/// The window's pictures by number: 1-8 the toolbar commands (scan, cancel, mark, copy, move,
/// delete, rename, export), 9/10 viewer off/on, 11/12 recycle off/on, 15/16 search location and
/// excluded folder, 17/18 marked and unmarked result rows. From the desktop icon theme where it
/// has the picture, otherwise Geminor's own (data/pictures).
QIcon ImageListIcon(int number);

}  // namespace geminor
