#pragma once

#include <QIcon>

namespace geminor {

/// The window's pictures by number. A toggle's picture is numbered as its setting's value.
enum Picture : int {
    kPictureScan = 1,
    kPictureCancel,
    kPictureMark,
    kPictureCopy,
    kPictureMove,
    kPictureDelete,
    kPictureRename,
    kPictureExport,
    kPictureViewerOff,
    kPictureViewerOn,
    kPictureRecycleOff,  // deleted for good
    kPictureRecycleOn,
    kPictureLocation = 15,
    kPictureExcludedFolder,
    kPictureMarkedRow,
    kPictureUnmarkedRow,
    kPictureReferenceRow,  // a reference location's file: kept whole
    kPictureLast = kPictureReferenceRow
};

/// A picture from the desktop icon theme where it has it, otherwise Geminor's own
/// (data/pictures); none for a number that has no picture.
QIcon ImageListIcon(int number);

}  // namespace geminor
