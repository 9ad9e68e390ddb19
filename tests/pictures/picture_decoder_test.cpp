#include "pictures/qt_picture_decoder.h"

#include "tests/support/gtest_common.h"

#include <array>
#include <cstdio>
#include <libdeflate.h>

#include "engine/unique_fd.h"
#include "pictures/perceptual_hash.h"

// The pictures are made from real photographs (Debian's mate-backgrounds) with ImageMagick's
// convert, and HEIC and AVIF copies with libheif's heif-enc, all installed by scripts/setup.sh
// with the test packages.

namespace geminor {
namespace {

const std::string kPhotos = "/usr/share/backgrounds/mate/nature/";
const std::string kConvert = "convert -limit thread 1 ";  // one thread: the machine is shared

class PictureDecoderTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_tree = new TempTree; }
    static void TearDownTestSuite() { delete s_tree; }

    /// Runs convert with `arguments`, writing `name` in the test's folder; returns its path.
    static std::string Convert(const std::string &arguments, const std::string &name)
    {
        const std::string path = s_tree->path(name);
        const std::string command = kConvert + arguments + " '" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    /// A photograph at about 1 megapixel, as a JPEG of good quality, made once for all tests.
    static std::string Photo(const std::string &name)
    {
        if (const std::string made = s_tree->path(name + ".jpg"); ::access(made.c_str(), F_OK) == 0)
            return made;
        return Convert("-define jpeg:size=1200x1200 '" + kPhotos + name +
                           ".jpg' -resize 1200x1200 -quality 92",
                       name + ".jpg");
    }
    static Result<PictureLook> Look(const std::string &path)
    {
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        EXPECT_TRUE(fd) << path;
        return m_decoder.look(fd.get());
    }
    static PictureLook Decoded(const std::string &path)
    {
        Result<PictureLook> look = Look(path);
        EXPECT_TRUE(look) << path << ": " << (look ? "" : look.error().detail);
        return look ? *look : PictureLook{};
    }
    bool IsPicture(const std::string &path) const
    {
        const std::string head = test::readFile(path).substr(0, 64);
        return m_decoder.isPicture(std::as_bytes(std::span(head)));
    }

    static inline TempTree *s_tree = nullptr;
    static inline const QtPictureDecoder m_decoder;
};

TEST_F(PictureDecoderTest, EditedCopiesOfAPhotoStayCloseAndOtherPhotosFar)
{
    const std::string base = Photo("Storm");
    const PictureLook original = Decoded(base);
    EXPECT_EQ(original.width, 1200u);
    EXPECT_EQ(original.height, 800u);
    const std::vector<std::pair<std::string, std::string>> variants{
        {"half.jpg", "-resize 50%"},
        {"eighth.jpg", "-resize 12.5%"},
        {"quality50.jpg", "-quality 50"},
        {"converted.png", ""},
        {"cropped.jpg", "-gravity center -crop 90%x90%+0+0 +repage"},
        {"brighter.jpg", "-brightness-contrast 15x0"},
        {"more-contrast.jpg", "-brightness-contrast 0x15"},
        {"grey.jpg", "-colorspace Gray"},
    };
    for (const auto &[name, arguments] : variants) {
        const int distance =
            HashDistance(original.hash, Decoded(Convert("'" + base + "' " + arguments, name)).hash);
        EXPECT_LE(distance, 10) << name;
    }

    // Turned by its EXIF tag alone (convert writes the tag into the EXIF this photo has), the photo is shown
    // as its pixels turned would be.
    const PictureLook tagged = Decoded(Convert("'" + base + "' -orient RightTop", "tagged.jpg"));
    const PictureLook turned = Decoded(Convert("'" + base + "' -rotate 90", "turned.jpg"));
    EXPECT_EQ(tagged.width, 800u);
    EXPECT_EQ(tagged.height, 1200u);
    EXPECT_LE(HashDistance(tagged.hash, turned.hash), 10);

    std::vector<PictureLook> others{original};
    for (const char *name : {"Aqua", "Blinds", "Dune", "FreshFlower", "Garden", "GreenMeadow", "LadyBird",
                             "RainDrops", "TwoWings", "Wood", "YellowFlower"})
        others.push_back(Decoded(Photo(name)));
    int closest = 64;
    for (std::size_t i = 0; i < others.size(); ++i)
        for (std::size_t j = i + 1; j < others.size(); ++j)
            closest = std::min(closest, HashDistance(others[i].hash, others[j].hash));
    EXPECT_GE(closest, 20);
}

TEST_F(PictureDecoderTest, ReadsEveryKindOfPictureFromTheStartOfItsDescriptor)
{
    const std::string base = Photo("Storm");
    const std::uint64_t hash = Decoded(base).hash;
    const std::string aqua = Photo("Aqua");
    const std::vector<std::pair<std::string, std::string>> kinds{
        {"deep.png", "-depth 16 'png48:"},
        {"cmyk.jpg", "-colorspace CMYK '"},
        {"palette.png", "'png8:"},
        {"grey-only.png", "-colorspace Gray -depth 8 '"},
        {"first-frame.gif", "'" + aqua + "' -delay 20 '"},
        {"little-endian.tif", "-define tiff:endian=lsb '"},
        {"big-endian.tif", "-define tiff:endian=msb -compress lzw '"},
        {"windows.bmp", "'"},
        {"web.webp", "'"},
    };
    for (const auto &[name, arguments] : kinds) {
        const std::string path = s_tree->path(name);
        ASSERT_EQ(std::system((kConvert + "'" + base + "' " + arguments + path + "'").c_str()), 0) << name;
        EXPECT_TRUE(IsPicture(path)) << name;
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::lseek(fd.get(), 100, SEEK_SET), 100);  // read from the start, wherever it stands
        const Result<PictureLook> look = m_decoder.look(fd.get());
        ASSERT_TRUE(look) << name << ": " << look.error().detail;
        EXPECT_EQ(look->width, 1200u) << name;
        EXPECT_EQ(look->height, 800u) << name;
        EXPECT_LE(HashDistance(look->hash, hash), 4) << name;
        EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 100) << name;  // neither moved nor closed
    }

    // Transparent pixels show the white behind them: here the left half of the picture.
    const std::string halfClear =
        Convert("'" + aqua +
                    "' \\( +clone -fill white -colorize 100 -fill black -draw 'rectangle 0,0 599,749' \\) "
                    "-alpha off -compose CopyOpacity -composite",
                "half-clear.png");
    const std::uint64_t overWhite =
        Decoded(Convert("'" + halfClear + "' -background white -flatten", "over-white.png")).hash;
    EXPECT_LE(HashDistance(Decoded(halfClear).hash, overWhite), 2);
    EXPECT_GE(HashDistance(Decoded(halfClear).hash, Decoded(aqua).hash), 10);  // not its colours alone
}

TEST_F(PictureDecoderTest, ReadsHeicAndAvifThroughLibheif)
{
    if (std::system("command -v heif-enc >/dev/null") != 0)
        GTEST_SKIP() << "heif-enc is missing (Debian's libheif-examples)";
    const std::string base = Photo("Storm");
    const std::uint64_t hash = Decoded(base).hash;
    for (const std::string name : {"phone.heic", "web.avif"}) {
        const std::string path = s_tree->path(name);
        const std::string command = "heif-enc -q 60 '" + base + "' -o '" + path + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_TRUE(IsPicture(path)) << name;
        const PictureLook look = Decoded(path);
        EXPECT_EQ(look.width, 1200u) << name;
        EXPECT_EQ(look.height, 800u) << name;
        EXPECT_LE(HashDistance(look.hash, hash), 10) << name;
    }
    const std::string whole = test::readFile(s_tree->path("phone.heic"));
    const Result<PictureLook> cut = Look(s_tree->write("cut.heic", whole.substr(0, whole.size() / 2)));
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().code, ErrorCode::PictureUndecodable);
    EXPECT_FALSE(cut.error().detail.empty());
}

/// A PNG of `width` x `height` whose only row data is an empty zlib stream.
std::string PngHeaderOnly(std::uint32_t width, std::uint32_t height)
{
    const auto be32 = [](std::uint32_t value) {
        return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    };
    const auto chunk = [&](std::string_view type, const std::string &data) {
        const std::string body = std::string(type) + data;
        return be32(std::uint32_t(data.size())) + body + be32(libdeflate_crc32(0, body.data(), body.size()));
    };
    return std::string("\x89PNG\r\n\x1A\n", 8) +
           chunk("IHDR", be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5)) +
           chunk("IDAT", std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8)) + chunk("IEND", "");
}

TEST_F(PictureDecoderTest, RefusesWhatIsNoPictureBrokenOrTooLarge)
{
    const std::string text = s_tree->write("notes.txt", "not a picture, though named like one\n");
    EXPECT_FALSE(IsPicture(text));
    EXPECT_EQ(Look(text).error().code, ErrorCode::NotAPicture);

    const std::string bomb = s_tree->write("bomb.png", PngHeaderOnly(20'000, 20'000));
    EXPECT_TRUE(IsPicture(bomb));
    const Result<PictureLook> huge = Look(bomb);
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.error().code, ErrorCode::PictureTooLarge);
    EXPECT_EQ(huge.error().detail, "20000 x 20000");
    EXPECT_EQ(Look(s_tree->write("wide.png", PngHeaderOnly(30'001, 10))).error().code,
              ErrorCode::PictureTooLarge);
    // Within the limits, the same empty rows are a broken picture, in the reader's words.
    const Result<PictureLook> empty = Look(s_tree->write("empty.png", PngHeaderOnly(100, 100)));
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().code, ErrorCode::PictureUndecodable);
    EXPECT_FALSE(empty.error().detail.empty());

    // A JPEG cut short keeps what it had: Qt fills the rest with grey. Cut before its first
    // row, it has nothing to show.
    const std::string whole = test::readFile(Photo("Storm"));
    const Result<PictureLook> cut = Look(s_tree->write("cut.jpg", whole.substr(0, whole.size() * 6 / 10)));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->width, 1200u);
    const Result<PictureLook> stub = Look(s_tree->write("stub.jpg", whole.substr(0, 300)));
    ASSERT_FALSE(stub);
    EXPECT_EQ(stub.error().code, ErrorCode::PictureUndecodable);
    EXPECT_FALSE(stub.error().detail.empty());
}

TEST(PerceptualHash, IgnoresBrightnessAndContrastAndNeedsAWholePicture)
{
    GreyImage picture{45, 30, {}};
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.pixels.push_back(float((x * 7 + y * y * 3) % 97 + (x > 20 ? 60 : 0)));
    GreyImage brighter = picture;
    for (float &pixel : brighter.pixels)
        pixel = pixel * 1.3f + 20;
    EXPECT_NE(PerceptualHash(picture), 0u);
    EXPECT_EQ(PerceptualHash(brighter), PerceptualHash(picture));
    picture.pixels.pop_back();
    EXPECT_EQ(PerceptualHash(picture), 0u);
    EXPECT_EQ(PerceptualHash(GreyImage{}), 0u);
}

}  // namespace
}  // namespace geminor
