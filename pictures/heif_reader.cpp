#include "pictures/heif_reader.h"

#include <cerrno>
#include <memory>
#include <string>
#include <sys/stat.h>

#include <libheif/heif.h>

#include "engine/file_system.h"
#include "pictures/perceptual_hash.h"
#include "pictures/qt_picture_decoder.h"

namespace geminor {
namespace {

// Phones write a few megabytes; a file far beyond is not worth holding in memory whole.
constexpr std::uint64_t kMostBytes = 256ull * 1024 * 1024;

struct HeifFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image *image) const { heif_image_release(image); }
};
template <typename T> using HeifOwner = std::unique_ptr<T, HeifFree>;

Unexpected Undecodable(const heif_error &error)
{
    return Fail(ErrorCode::PictureUndecodable, 0, {}, error.message ? error.message : "");
}

struct Bytes
{
    std::unique_ptr<std::byte[]> data;
    std::size_t size = 0;
};

Result<Bytes> ReadWhole(int fd)
{
    struct stat st
    {
    };
    if (Fs().fstat(fd, &st) != 0)
        return Fail(ErrorCode::ReadFailed, errno);
    if (std::uint64_t(st.st_size) > kMostBytes)
        return Fail(ErrorCode::PictureTooLarge);
    Bytes bytes{std::make_unique_for_overwrite<std::byte[]>(std::size_t(st.st_size)), 0};
    // Up to the size fstat gave: a file that grows meanwhile is read as it was.
    while (bytes.size < std::size_t(st.st_size)) {
        const ssize_t got = Fs().pread(fd, bytes.data.get() + bytes.size,
                                       std::size_t(st.st_size) - bytes.size, off_t(bytes.size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Fail(ErrorCode::ReadFailed, errno);
        if (got == 0)
            break;  // shrunk: libheif finds what is missing
        bytes.size += std::size_t(got);
    }
    return bytes;
}

bool TooLarge(int width, int height)
{
    return width > QtPictureDecoder::kLongestSide || height > QtPictureDecoder::kLongestSide ||
           std::uint64_t(width) * std::uint64_t(height) > QtPictureDecoder::kMostPixels;
}

Result<GreyImage> Grey(const heif_image &image)
{
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(&image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(&image, heif_channel_interleaved);
    const int height = heif_image_get_height(&image, heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0)
        return Fail(ErrorCode::PictureUndecodable);
    GreyImage grey{width, height, {}};
    grey.pixels.reserve(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *pixel = plane + std::ptrdiff_t(y) * stride;
        for (int x = 0; x < width; ++x, pixel += 3)
            grey.pixels.push_back(0.299f * float(pixel[0]) + 0.587f * float(pixel[1]) +
                                  0.114f * float(pixel[2]));
    }
    return grey;
}

}  // namespace

HeifLibrary::HeifLibrary()
{
    heif_init(nullptr);
}

HeifLibrary::~HeifLibrary()
{
    heif_deinit();
}

Result<PictureLook> LookHeif(int fd)
{
    Result<Bytes> bytes = ReadWhole(fd);
    if (!bytes)
        return Unexpected(bytes.error());
    const HeifOwner<heif_context> context(heif_context_alloc());
    if (!context)
        return Fail(ErrorCode::PictureUndecodable);
    // The search decodes several pictures at once already.
    heif_context_set_max_decoding_threads(context.get(), 0);
    if (const heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes->data.get(),
                                                                            bytes->size, nullptr);
        error.code != heif_error_Ok)
        return Undecodable(error);
    heif_image_handle *rawHandle = nullptr;
    const heif_error found = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const HeifOwner<const heif_image_handle> handle(rawHandle);
    if (found.code != heif_error_Ok)
        return Undecodable(found);

    // Turned or cropped, the stored picture is decoded whole first: its size is refused too.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0)
        return Fail(ErrorCode::PictureUndecodable);
    if (TooLarge(width, height) || TooLarge(heif_image_handle_get_ispe_width(handle.get()),
                                            heif_image_handle_get_ispe_height(handle.get())))
        return Fail(ErrorCode::PictureTooLarge, 0, {},
                    std::to_string(width) + " x " + std::to_string(height));
    heif_image *rawImage = nullptr;
    const heif_error decoded =
        heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    const HeifOwner<const heif_image> image(rawImage);
    if (decoded.code != heif_error_Ok)
        return Undecodable(decoded);
    // Decoded as shown, turned and mirrored: its size is the one to give.
    Result<GreyImage> grey = Grey(*image);
    if (!grey)
        return Unexpected(grey.error());
    return PictureLook{std::uint32_t(grey->width), std::uint32_t(grey->height), PerceptualHash(*grey)};
}

}  // namespace geminor
