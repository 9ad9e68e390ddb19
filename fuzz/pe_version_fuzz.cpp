// Program files are read for their version with offsets taken from the file itself.
#include <cstdlib>

#include "engine/file_version.h"
#include "fuzz/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string *path = WriteScratchFile("input.exe", data, size);
    if (path && geminor::FileVersionText(*path).empty())
        std::abort();  // always "N/A" or a version
    return 0;
}
