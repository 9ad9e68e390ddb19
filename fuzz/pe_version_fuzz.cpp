// Program files are read for their version with offsets taken from the file itself.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "engine/file_version.h"

namespace {

/// One file in a folder of its own, rewritten for every input and removed at exit.
struct Scratch
{
    std::string folder, file;
    Scratch()
    {
        char pattern[] = "/tmp/geminor-fuzz-XXXXXX";
        folder = ::mkdtemp(pattern) ? pattern : "/tmp";
        file = folder + "/input.exe";
    }
    ~Scratch()
    {
        ::unlink(file.c_str());
        ::rmdir(folder.c_str());
    }
};

const std::string &scratchFile()
{
    static const Scratch scratch;
    return scratch.file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::FILE *f = std::fopen(scratchFile().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const std::string text = geminor::FileVersionText(scratchFile());
    if (text.empty())
        std::abort();  // always "N/A" or a version
    return 0;
}
