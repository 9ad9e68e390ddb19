// The settings file is the user's to edit: any content gives values or the defaults.
#include <QSettings>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "persist/settings_format.h"
#include "persist/settings_store.h"

namespace {

/// One file in a folder of its own, rewritten for every input and removed at exit.
struct Scratch
{
    std::string folder, file;
    Scratch()
    {
        char pattern[] = "/tmp/geminor-fuzz-XXXXXX";
        folder = ::mkdtemp(pattern) ? pattern : "/tmp";
        file = folder + "/Geminor.conf";
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
    QSettings backend(QString::fromStdString(scratchFile()), geminor::TextSettingsFormat());
    geminor::SettingsStore store(backend);
    const int display = store.Display();
    const int recycle = store.RecycleBin();
    if ((display != 9 && display != 10) || (recycle != 11 && recycle != 12))
        std::abort();
    if (const auto types = store.LoadFileTypes())
        for (const geminor::FileTypeEntry &entry : *types)
            if (entry.extension.contains(QLatin1Char(';')))
                std::abort();
    return 0;
}
