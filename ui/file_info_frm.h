#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <string>

#include "ui/prompter.h"

class QLabel;

namespace geminor {

class PicturePair;

/// "Picture Viewer": a pane beside the result list that shows the picture of the row the user
/// moves to, whole and upright, and a larger window of the same picture on demand.
class FileInfoFrm : public QWidget
{
    Q_OBJECT
public:
    FileInfoFrm(Prompter &prompter, QWidget *parent);

    /// Shows a picture file once it is read (off the window's thread, then pictureShown());
    /// when it cannot be read, the previous picture stays.
    void LoadPic(const std::string &FileName);
    /// Shows two picture files side by side at one scale (see PicturePair) once both are read;
    /// when either cannot be read, what is shown stays. The next LoadPic shows one again.
    void LoadPair(const std::string &left, const std::string &right);
    /// The side-by-side view, shown while a pair is.
    PicturePair *pair() const { return m_pair; }
    /// Closing as the user does it from the pane's close button: asks whether to switch the
    /// viewer off.
    void closeByUser();
    /// A window of its own, nearly the screen's size, with the picture shown now.
    void showLarger();
    /// The larger window while it is open, else null.
    QWidget *larger() const { return m_larger; }
    /// The picture shown, at its own size and upright.
    QSize pictureSize() const { return m_picture.size(); }

signals:
    /// The user closed the pane and chose to switch the viewer off.
    void viewerDisabled();
    /// A picture asked for with LoadPic is shown.
    void pictureShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showScaled();
    void pictureRead();
    void pairRead(const QImage &left, const QImage &right);
    void load(QStringList names);

    Prompter &m_prompter;
    QLabel *m_caption = nullptr;
    QLabel *m_pic = nullptr;
    QWidget *m_larger = nullptr;
    QLabel *m_largerPic = nullptr;
    QPixmap m_picture;
    PicturePair *m_pair = nullptr;
    QString m_shownName;
    QStringList m_loadingNames;
    QFutureWatcher<QList<QImage>> m_loading;  // one picture, or the two of a pair
    bool m_byUser = false;
};

/// True when a file name ends in an extension of a picture format Qt can read here (.png,
/// .jpeg, .webp, .tiff, .svg... as the installed plug-ins allow), in any case.
bool IsPreviewName(const std::string &name);

}  // namespace geminor
