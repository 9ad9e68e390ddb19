#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <string>

#include "ui/prompter.h"

class QLabel;

namespace geminor {

/// "Picture Viewer": a small tool window beside the result list that shows the picture of the
/// row the user moves to, stretched to the window.
class FileInfoFrm : public QWidget
{
    Q_OBJECT
public:
    FileInfoFrm(Prompter &prompter, QWidget *parent);

    /// Shows a picture file once it is read (off the window's thread, then pictureShown());
    /// when it cannot be read, the previous picture stays.
    void LoadPic(const std::string &FileName);
    /// Closing as the user does it from the window's close box: asks whether to switch the
    /// viewer off.
    void closeByUser();

signals:
    /// The user closed the window and chose to switch the viewer off.
    void viewerDisabled();
    /// A picture asked for with LoadPic is shown.
    void pictureShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showScaled();
    void pictureRead();

    Prompter &m_prompter;
    QLabel *m_pic = nullptr;
    QPixmap m_picture;
    QFutureWatcher<QImage> m_loading;
    bool m_byUser = false;
};

/// True when a file name counts as a picture for the viewer: its last four characters, in
/// lower case, occur in ".bmp .dib .gif .jpg .wmf .emf .ico .cur".
bool IsPreviewName(const std::string &name);

}  // namespace geminor
