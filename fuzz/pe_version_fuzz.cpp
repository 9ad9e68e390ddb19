// Program files are read for their version with offsets taken from the file itself.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "engine/file_version.h"

namespace {

const std::string &scratchFile()
{
    static const std::string path = [] {
        char folder[] = "/tmp/geminor-fuzz-XXXXXX";
        return std::string(::mkdtemp(folder)) + "/input.exe";
    }();
    return path;
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
