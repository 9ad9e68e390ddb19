#include "ui/file_info_frm.h"

#include <algorithm>

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "ui/picture_pair.h"

namespace geminor {

bool IsPreviewName(const std::string &name)
{
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size())
        return false;
    return formats.contains(QByteArray::fromStdString(name.substr(dot + 1)).toLower());
}

namespace {

QLabel *pictureLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(1, 1);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    return label;
}

QToolButton *titleButton(QWidget *parent, const QString &name, const QString &icon,
                         QStyle::StandardPixmap fallback, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon::fromTheme(icon, parent->style()->standardIcon(fallback)));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

/// The picture as large as fits, its proportions kept.
void fit(QLabel &label, const QPixmap &picture)
{
    if (picture.isNull())
        return;
    const QSize room = label.size().boundedTo(picture.size() * 4);  // a thumbnail is not blown up to mush
    label.setPixmap(picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

}  // namespace

FileInfoFrm::FileInfoFrm(Prompter &prompter, QWidget *parent) : QWidget(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("FileInfoFrm"));
    setWindowTitle(QStringLiteral("Picture Viewer"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QHBoxLayout;
    m_caption = new QLabel(QStringLiteral("Picture Viewer"), this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    title->addWidget(m_caption, 1);
    auto *larger = titleButton(this, QStringLiteral("larger"), QStringLiteral("zoom-in"),
                               QStyle::SP_TitleBarMaxButton, QStringLiteral("Larger Preview (double-click)"));
    connect(larger, &QToolButton::clicked, this, &FileInfoFrm::showLarger);
    auto *closer = titleButton(this, QStringLiteral("close"), QStringLiteral("window-close"),
                               QStyle::SP_TitleBarCloseButton, QStringLiteral("Close the Picture Viewer"));
    connect(closer, &QToolButton::clicked, this, &FileInfoFrm::closeByUser);
    title->addWidget(larger);
    title->addWidget(closer);
    layout->addLayout(title);
    m_pic = pictureLabel(this, QStringLiteral("pic"));
    m_pic->installEventFilter(this);
    layout->addWidget(m_pic, 1);
    m_pair = new PicturePair(this);
    m_pair->hide();
    layout->addWidget(m_pair, 1);
    setMinimumWidth(120);
    connect(&m_loading, &QFutureWatcher<QList<QImage>>::finished, this, &FileInfoFrm::pictureRead);
}

void FileInfoFrm::LoadPic(const std::string &FileName)
{
    load({QFile::decodeName(FileName.c_str())});
}

void FileInfoFrm::LoadPair(const std::string &left, const std::string &right)
{
    load({QFile::decodeName(left.c_str()), QFile::decodeName(right.c_str())});
}

void FileInfoFrm::load(QStringList names)
{
    m_loadingNames = std::move(names);
    // Read off the window's thread; only the newest request is shown. The reader turns the
    // picture as its EXIF orientation says.
    m_loading.setFuture(QtConcurrent::run([paths = m_loadingNames] {
        QList<QImage> images;
        for (const QString &path : paths) {
            QImageReader reader(path);
            reader.setAutoTransform(true);
            images.append(reader.read());
        }
        return images;
    }));
}

void FileInfoFrm::pairRead(const QImage &left, const QImage &right)
{
    m_pair->setPictures(left, right);
    m_caption->setText(
        QStringLiteral("%1  |  %2")
            .arg(QFileInfo(m_loadingNames[0]).fileName(), QFileInfo(m_loadingNames[1]).fileName()));
    m_caption->setToolTip(m_loadingNames.join(QLatin1Char('\n')));
    m_pic->hide();
    m_pair->show();
    emit pictureShown();
}

void FileInfoFrm::pictureRead()
{
    const QList<QImage> images = m_loading.result();
    if (std::any_of(images.begin(), images.end(), [](const QImage &image) { return image.isNull(); }))
        return;  // not readable or not a picture Qt knows: keep the last one
    if (images.size() == 2)
        return pairRead(images[0], images[1]);
    const QImage &image = images.front();
    m_pair->hide();
    m_pic->show();
    m_shownName = m_loadingNames.front();
    m_picture = QPixmap::fromImage(image);
    const QString text = QStringLiteral("%1  (%2 \u00d7 %3)")
                             .arg(QFileInfo(m_shownName).fileName())
                             .arg(image.width())
                             .arg(image.height());
    m_caption->setText(text);
    m_caption->setToolTip(m_shownName);
    if (m_larger)
        m_larger->setWindowTitle(text);
    showScaled();
    emit pictureShown();
}

void FileInfoFrm::showScaled()
{
    fit(*m_pic, m_picture);
    if (m_largerPic)
        fit(*m_largerPic, m_picture);
}

void FileInfoFrm::showLarger()
{
    if (!m_larger) {
        m_larger = new QWidget(this, Qt::Window);
        m_larger->setObjectName(QStringLiteral("LargerPreview"));
        m_larger->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_larger, &QObject::destroyed, this, [this] {
            m_larger = nullptr;
            m_largerPic = nullptr;
        });
        auto *layout = new QVBoxLayout(m_larger);
        layout->setContentsMargins(0, 0, 0, 0);
        m_largerPic = pictureLabel(m_larger, QStringLiteral("largerPic"));
        m_largerPic->installEventFilter(this);
        layout->addWidget(m_largerPic);
        m_larger->installEventFilter(this);  // Esc closes it
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        m_larger->resize(screen ? screen->availableGeometry().size() * 4 / 5 : QSize(800, 600));
        m_larger->setWindowTitle(m_caption->text());
    }
    m_larger->show();
    m_larger->raise();
    m_larger->activateWindow();
    showScaled();
}

bool FileInfoFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && (watched == m_pic || watched == m_largerPic))
        QMetaObject::invokeMethod(this, &FileInfoFrm::showScaled, Qt::QueuedConnection);
    else if (event->type() == QEvent::MouseButtonDblClick && watched == m_pic)
        showLarger();
    else if ((event->type() == QEvent::MouseButtonDblClick && watched == m_largerPic) ||
             (event->type() == QEvent::KeyPress && watched == m_larger &&
              static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape))
        m_larger->close();
    return false;
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
    const bool byUser = std::exchange(m_byUser, false) || event->spontaneous();
    if (byUser &&
        m_prompter.askYesNo(this, QStringLiteral("Confirm"),
                            QStringLiteral("Do you want to disable picture viewer."), QMessageBox::Question))
        emit viewerDisabled();
    if (m_larger)
        m_larger->close();
    event->accept();
}

}  // namespace geminor
