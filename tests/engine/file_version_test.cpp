#include "engine/file_version.h"

#include <cstring>
#include "tests/support/gtest_common.h"

#include "engine/buz_timer.h"

namespace geminor {
namespace {

void put16(std::string &b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string &b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

/// A minimal PE32 file with one resource section holding a version resource.
std::string portableExecutable(std::uint32_t versionMS, std::uint32_t versionLS)
{
    std::string b(0x400, '\0');
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x44, optional = coff + 20;
    put16(b, coff, 0x14C);
    put16(b, coff + 2, 1);     // one section
    put16(b, coff + 16, 224);  // optional header size
    put16(b, optional, 0x10B);
    put32(b, optional + 92, 16);           // data directories
    put32(b, optional + 96 + 16, 0x1000);  // resources at RVA 0x1000
    put32(b, optional + 96 + 20, 0x100);
    const std::size_t section = optional + 224;
    b.replace(section, 5, ".rsrc");
    put32(b, section + 8, 0x200);
    put32(b, section + 12, 0x1000);
    put32(b, section + 16, 0x200);
    put32(b, section + 20, 0x200);
    const std::size_t r = 0x200;
    put16(b, r + 14, 1);   // root: one id entry
    put32(b, r + 16, 16);  // RT_VERSION
    put32(b, r + 20, 0x80000000U | 0x18);
    put16(b, r + 0x18 + 14, 1);
    put32(b, r + 0x18 + 16, 1);
    put32(b, r + 0x18 + 20, 0x80000000U | 0x30);
    put16(b, r + 0x30 + 14, 1);
    put32(b, r + 0x30 + 16, 0x409);
    put32(b, r + 0x30 + 20, 0x48);  // a data entry
    put32(b, r + 0x48, 0x1000 + 0x58);
    put32(b, r + 0x48 + 4, 92);
    const std::size_t v = r + 0x58;
    put16(b, v, 92);
    put16(b, v + 2, 52);
    const char16_t key[] = u"VS_VERSION_INFO";
    for (std::size_t i = 0; key[i]; ++i)
        put16(b, v + 6 + 2 * i, key[i]);
    put32(b, v + 40, 0xFEEF04BD);
    put32(b, v + 48, versionMS);
    put32(b, v + 52, versionLS);
    return b;
}

TEST(FileVersion, ReadsTheFixedVersionOfProgramFiles)
{
    test::TempTree tree;
    const std::string pe = portableExecutable(0x00050001, 0x0A280000);
    EXPECT_EQ(FileVersionText(tree.write("setup.EXE", pe)), "5.1.2600.0");
    EXPECT_EQ(FileVersionText(tree.write("lib.dll", portableExecutable(0x00010000, 0))), "1.0.0.0");
    EXPECT_EQ(FileVersionText(tree.write("big.ocx", portableExecutable(0xFFFF8000, 0x0000FFFF))),
              "65535.32768.0.65535");
    EXPECT_EQ(FileVersionText(tree.write("readme.txt", pe)), "N/A");  // never opened
    EXPECT_EQ(FileVersionText(tree.write("plain.exe", "MZ not really")), "N/A");
    for (std::size_t cut : {0x40u, 0x100u, 0x210u, 0x260u, 0x2A0u})
        EXPECT_EQ(FileVersionText(tree.write("cut" + std::to_string(cut) + ".exe", pe.substr(0, cut))), "N/A")
            << cut;
    std::string hostile = pe;
    put32(hostile, 0x3C, 0xFFFFFFF0);
    EXPECT_EQ(FileVersionText(tree.write("hostile.exe", hostile)), "N/A");
    hostile = pe;
    put32(hostile, 0x200 + 20, 0x80000000U | 0x7FFFFFF0);
    EXPECT_EQ(FileVersionText(tree.write("hostile2.dll", hostile)), "N/A");
    EXPECT_EQ(FileVersionText(tree.path("missing.exe")), "N/A");
}

TEST(BuzTimer, MeasuresFromTheLastResetInClockTexts)
{
    EXPECT_EQ(buzTimer::FormatSeconds(3725), "01:02:05");
    EXPECT_EQ(buzTimer::FormatSeconds(360000), "100:00:00");
    std::time_t now = 1000;
    buzTimer timer([&] { return now; });
    EXPECT_EQ(timer.Elapsed(), "00:00:00");
    now += 30;
    EXPECT_EQ(timer.Elapsed(), "00:00:30");
    EXPECT_EQ(timer.Remaining(50, 100), "00:00:30");
    EXPECT_EQ(timer.Remaining(0, 100), "");
    EXPECT_EQ(timer.Remaining(5, 0), "");
    EXPECT_EQ(timer.Remaining(101, 100), "");
    now -= 40;  // the clock went back
    EXPECT_EQ(timer.Elapsed(), "-00:00:10");
    timer.Reset();
    EXPECT_EQ(timer.Elapsed(), "00:00:00");
}

}  // namespace
}  // namespace geminor
