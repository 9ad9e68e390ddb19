#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

namespace geminor {

/// A picture's size as the result list and the viewer write it: "640 x 480".
QString DimensionsText(std::uint32_t width, std::uint32_t height);

/// Two pictures side by side at one scale, each with its size under it. Both are drawn at the
/// same factor of their own pixels, so a copy of half the size looks half as large: the user
/// sees which is the smaller, not two pictures stretched to one frame.
class PicturePair final : public QWidget
{
    Q_OBJECT
public:
    explicit PicturePair(QWidget *parent);

    void setPictures(const QImage &left, const QImage &right);
    /// The factor both pictures are drawn at in the widget's present size.
    double scale() const;
    /// Where picture 0 (left) or 1 (right) is drawn.
    QRect pictureRect(int which) const;
    /// Picture 0 or 1 as given, at its own size.
    const QImage &picture(int which) const { return m_pictures[static_cast<std::size_t>(which)]; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int captionHeight() const;

    std::array<QImage, 2> m_pictures;
};

}  // namespace geminor
