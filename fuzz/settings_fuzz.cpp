// The settings file is the user's to edit: any content gives values or the defaults.
#include <QSettings>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "persist/settings_store.h"

namespace {

const std::string &scratchFile()
{
    static const std::string path = [] {
        char folder[] = "/tmp/geminor-fuzz-XXXXXX";
        return std::string(::mkdtemp(folder)) + "/Geminor.conf";
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
    QSettings backend(QString::fromStdString(scratchFile()), QSettings::IniFormat);
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
