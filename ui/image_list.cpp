#include "ui/image_list.h"

#include <QApplication>
#include <QStyle>

// The pictures live in a static library: their resource must be registered by hand.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace geminor {

QIcon ImageListIcon(int number)
{
    struct ThemePicture
    {
        const char *themeName;
        QStyle::StandardPixmap fallback;
    };
    static const ThemePicture kPictures[] = {
        {"", QStyle::SP_CustomBase},
        {"system-search", QStyle::SP_FileDialogContentsView},  // 1 scan
        {"process-stop", QStyle::SP_BrowserStop},              // 2 cancel
        {"checkbox", QStyle::SP_DialogApplyButton},            // 3 mark
        {"edit-copy", QStyle::SP_FileDialogNewFolder},         // 4 copy
        {"go-jump", QStyle::SP_ArrowForward},                  // 5 move
        {"edit-delete", QStyle::SP_TrashIcon},                 // 6 delete
        {"edit-rename", QStyle::SP_FileDialogDetailedView},    // 7 rename
        {"document-export", QStyle::SP_DialogSaveButton},      // 8 export
        {"image-missing", QStyle::SP_DialogNoButton},          // 9 viewer off
        {"image-x-generic", QStyle::SP_DialogYesButton},       // 10 viewer on
        {"edit-delete-shred", QStyle::SP_MessageBoxWarning},   // 11 recycle off: deleted for good
        {"user-trash", QStyle::SP_TrashIcon},                  // 12 recycle on
        {"", QStyle::SP_CustomBase},
        {"", QStyle::SP_CustomBase},
        {"folder", QStyle::SP_DirIcon},                      // 15 search location
        {"folder-locked", QStyle::SP_DirLinkIcon},           // 16 excluded folder
        {"emblem-important", QStyle::SP_DialogApplyButton},  // 17 marked row
        {"text-x-generic", QStyle::SP_FileIcon},             // 18 unmarked row
        {"folder-favorites", QStyle::SP_DirHomeIcon},        // 19 reference location: kept whole
    };
    if (number < kPictureScan || number > kPictureLast || kPictures[number].fallback == QStyle::SP_CustomBase)
        return {};
    static const bool registered = (registerPictures(), true);
    (void)registered;
    // Geminor's own picture, or Qt's where the SVG support is missing.
    QIcon fallback(QStringLiteral(":/pictures/%1.svg").arg(number));
    if (fallback.pixmap(16, 16).isNull())
        fallback = QApplication::style()->standardIcon(kPictures[number].fallback);
    return QIcon::fromTheme(QString::fromLatin1(kPictures[number].themeName), fallback);
}

}  // namespace geminor
