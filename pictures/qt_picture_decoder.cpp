#include "pictures/qt_picture_decoder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <string>
#include <sys/stat.h>

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QThreadPool>

#include "engine/file_system.h"
#include "pictures/heif_reader.h"
#include "pictures/perceptual_hash.h"
#include "pictures/picture_magic.h"

namespace geminor {
namespace {

// What a picture at the largest size accepted takes as 32-bit pixels: a header that lies about
// its size cannot make the reader allocate more.
constexpr int kAllocationLimitMb = int(QtPictureDecoder::kMostPixels * 4 / (1024 * 1024)) + 1;

/// The open file read with pread at the device's own position, as QBuffer reads its bytes:
/// the descriptor's offset is neither used nor moved, and it stays open.
class FdDevice final : public QIODevice
{
public:
    explicit FdDevice(int fd) : m_fd(fd) {}
    bool isSequential() const override { return false; }
    qint64 size() const override
    {
        struct stat st
        {
        };
        return Fs().fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
    }
    int readErrno() const { return m_errno; }

protected:
    qint64 readData(char *data, qint64 most) override
    {
        for (;;) {
            const ssize_t got = Fs().pread(m_fd, data, std::size_t(most), off_t(pos()));
            if (got >= 0)
                return got;
            if (errno != EINTR) {
                m_errno = errno;
                return -1;
            }
        }
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int m_fd;
    int m_errno = 0;
};

bool TooLarge(QSize size)
{
    return size.width() > QtPictureDecoder::kLongestSide || size.height() > QtPictureDecoder::kLongestSide ||
           std::uint64_t(size.width()) * std::uint64_t(size.height()) > QtPictureDecoder::kMostPixels;
}

/// The size to decode at: the short side down to about kDecodedSide, the proportions kept;
/// invalid (decode as it is) when the picture is no larger.
QSize DecodedSize(QSize stored)
{
    const int shortSide = std::min(stored.width(), stored.height());
    if (shortSide <= QtPictureDecoder::kDecodedSide)
        return {};
    const double factor = double(QtPictureDecoder::kDecodedSide) / shortSide;
    return {std::max(1, int(std::lround(stored.width() * factor))),
            std::max(1, int(std::lround(stored.height() * factor)))};
}

/// Grey levels as seen on a white page: a transparent pixel shows the white behind it.
GreyImage GreyOverWhite(const QImage &decoded)
{
    const QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    GreyImage grey{image.width(), image.height(), {}};
    grey.pixels.reserve(std::size_t(grey.width) * std::size_t(grey.height));
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const float alpha = float(qAlpha(line[x])) / 255.0f;
            const float luma = 0.299f * float(qRed(line[x])) + 0.587f * float(qGreen(line[x])) +
                               0.114f * float(qBlue(line[x]));
            grey.pixels.push_back(luma * alpha + 255.0f * (1.0f - alpha));
        }
    }
    return grey;
}

std::string SizeText(QSize size)
{
    return std::to_string(size.width()) + " x " + std::to_string(size.height());
}

}  // namespace

QtPictureDecoder::~QtPictureDecoder()
{
    QThreadPool::globalInstance()->waitForDone();  // and joins them
}

bool QtPictureDecoder::isPicture(std::span<const std::byte> head) const
{
    return PictureKindOf(head) != PictureKind::None;
}

Result<PictureLook> QtPictureDecoder::look(int fd) const
{
    std::array<std::byte, 64> head{};
    ssize_t got = 0;
    do
        got = Fs().pread(fd, head.data(), head.size(), 0);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return Fail(ErrorCode::ReadFailed, errno);
    const PictureKind kind = PictureKindOf(std::span(head.data(), std::size_t(got)));
    if (kind == PictureKind::None)
        return Fail(ErrorCode::NotAPicture);
    if (kind == PictureKind::Heif)
        return LookHeif(fd);

    FdDevice device(fd);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QSize stored = reader.size();  // from the header alone
    if (stored.isValid() && TooLarge(stored))
        return Fail(ErrorCode::PictureTooLarge, 0, {}, SizeText(stored));
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    if (const QSize decoded = stored.isValid() ? DecodedSize(stored) : QSize(); decoded.isValid())
        reader.setScaledSize(decoded);  // JPEG scales in its DCT, so the whole is never decoded
    const QImage image = reader.read();
    if (image.isNull() && device.readErrno() != 0)
        return Fail(ErrorCode::ReadFailed, device.readErrno());
    if (image.isNull())
        return Fail(ErrorCode::PictureUndecodable, 0, {}, reader.errorString().toStdString());

    QSize shown = stored.isValid() ? stored : image.size();  // the image is turned already
    if (stored.isValid() && turned)
        shown.transpose();
    return PictureLook{std::uint32_t(shown.width()), std::uint32_t(shown.height()),
                       PerceptualHash(GreyOverWhite(image))};
}

}  // namespace geminor
