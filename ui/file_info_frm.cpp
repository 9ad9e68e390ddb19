#include "ui/file_info_frm.h"

#include <QCloseEvent>
#include <QFile>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>
#include <QLabel>
#include <QVBoxLayout>

#include "engine/case_fold.h"

namespace geminor {

bool IsPreviewName(const std::string &name)
{
    const std::string last4 = FoldCase(name.size() > 4 ? name.substr(name.size() - 4) : name);
    return std::string_view(".bmp .dib .gif .jpg .wmf .emf .ico .cur").find(last4) != std::string_view::npos;
}

FileInfoFrm::FileInfoFrm(Prompter &prompter, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_prompter(prompter)
{
    setObjectName(QStringLiteral("FileInfoFrm"));
    setWindowTitle(QStringLiteral("Picture Viewer"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pic = new QLabel(this);
    m_pic->setObjectName(QStringLiteral("pic"));
    m_pic->setMinimumSize(1, 1);
    m_pic->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layout->addWidget(m_pic);
    resize(130, 139);  // 1950 x 2085 twips
    connect(&m_loading, &QFutureWatcher<QImage>::finished, this, &FileInfoFrm::pictureRead);
}

void FileInfoFrm::LoadPic(const std::string &FileName)
{
    // Read off the window's thread; only the newest request is shown.
    m_loading.setFuture(QtConcurrent::run([path = QFile::decodeName(FileName.c_str())] {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        return reader.read();
    }));
}

void FileInfoFrm::pictureRead()
{
    const QImage image = m_loading.result();
    if (image.isNull())
        return;  // not readable or not a picture Qt knows: keep the last one
    m_picture = QPixmap::fromImage(image);
    showScaled();
    emit pictureShown();
}

void FileInfoFrm::showScaled()
{
    if (!m_picture.isNull())
        m_pic->setPixmap(m_picture.scaled(m_pic->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void FileInfoFrm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showScaled();
}

void FileInfoFrm::closeByUser()
{
    m_byUser = true;
    close();
}

void FileInfoFrm::closeEvent(QCloseEvent *event)
{
    const bool byUser = m_byUser || event->spontaneous();
    m_byUser = false;
    if (byUser &&
        m_prompter.askYesNo(this, QStringLiteral("Confirm"),
                            QStringLiteral("Do you want to disable picture viewer."), QMessageBox::Question))
        emit viewerDisabled();
    event->accept();
}

}  // namespace geminor
