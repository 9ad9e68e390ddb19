#include "ui/picture_pair.h"

#include <QPainter>
#include <algorithm>

namespace geminor {
namespace {

constexpr int kMargin = 4;
constexpr int kGap = 8;
constexpr double kMostScale = 4.0;  // small pictures are not blown up to mush

}  // namespace

QString DimensionsText(std::uint32_t width, std::uint32_t height)
{
    return QStringLiteral("%1 x %2").arg(width).arg(height);
}

PicturePair::PicturePair(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PicturePair"));
    setMinimumSize(1, 1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void PicturePair::setPictures(const QImage &left, const QImage &right)
{
    m_pictures = {left, right};
    update();
}

int PicturePair::captionHeight() const
{
    return fontMetrics().height() + kMargin;
}

double PicturePair::scale() const
{
    const int widths = m_pictures[0].width() + m_pictures[1].width();
    const int tallest = std::max(m_pictures[0].height(), m_pictures[1].height());
    if (widths <= 0 || tallest <= 0)
        return 0;
    const double across = std::max(width() - 2 * kMargin - kGap, 1) / static_cast<double>(widths);
    const double down = std::max(height() - 2 * kMargin - captionHeight(), 1) / static_cast<double>(tallest);
    return std::min({across, down, kMostScale});
}

QRect PicturePair::pictureRect(int which) const
{
    const double factor = scale();
    const auto scaled = [factor](const QImage &image) {
        return QSize(std::max(1, qRound(image.width() * factor)),
                     std::max(1, qRound(image.height() * factor)));
    };
    const QSize left = scaled(m_pictures[0]), right = scaled(m_pictures[1]);
    const int x = std::max(kMargin, (width() - left.width() - kGap - right.width()) / 2);
    // Both stand on one line, so their heights compare at a glance.
    const int bottom = kMargin + std::max(left.height(), right.height());
    if (which == 0)
        return QRect(QPoint(x, bottom - left.height()), left);
    return QRect(QPoint(x + left.width() + kGap, bottom - right.height()), right);
}

void PicturePair::paintEvent(QPaintEvent *)
{
    if (scale() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int which : {0, 1}) {
        const QImage &image = picture(which);
        const QRect at = pictureRect(which);
        painter.drawImage(at, image);
        const QRect caption(at.left() - kGap / 2, at.bottom() + kMargin, at.width() + kGap, captionHeight());
        painter.drawText(caption, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
                         DimensionsText(static_cast<std::uint32_t>(image.width()),
                                        static_cast<std::uint32_t>(image.height())));
    }
}

}  // namespace geminor
