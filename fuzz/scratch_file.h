#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

/// Writes a fuzz input into one file in a folder of its own (removed at exit) and returns its
/// path, for readers that only take a file; `name` is fixed by the first call.
inline const std::string *WriteScratchFile(const char *name, const std::uint8_t *data, std::size_t size)
{
    struct Scratch
    {
        std::string folder, file;
        explicit Scratch(const char *fileName)
        {
            char pattern[] = "/tmp/geminor-fuzz-XXXXXX";
            folder = ::mkdtemp(pattern) ? pattern : "/tmp";
            file = folder + '/' + fileName;
        }
        ~Scratch()
        {
            ::unlink(file.c_str());
            ::rmdir(folder.c_str());
        }
    };
    static const Scratch scratch(name);
    std::FILE *f = std::fopen(scratch.file.c_str(), "wb");
    if (!f)
        return nullptr;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written ? &scratch.file : nullptr;
}
