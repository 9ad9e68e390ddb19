// The settings file is the user's to edit: any content gives values or the defaults.
#include <QSettings>
#include <cstdlib>

#include "persist/settings_format.h"
#include "persist/settings_store.h"
#include "fuzz/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string *path = WriteScratchFile("Geminor.conf", data, size);
    if (!path)
        return 0;
    QSettings backend(QString::fromStdString(*path), geminor::TextSettingsFormat());
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
