// A JSON result handed to --apply comes from anywhere: any bytes must parse without a crash,
// never give a path with a NUL, and whatever was read must be written and read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "results/result_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto first = geminor::ReadResultJson({reinterpret_cast<const char *>(data), size});
    if (!first)
        return 0;
    std::vector<geminor::ResultRow> rows;
    for (const geminor::PlanFile &file : first->files) {
        if (file.path.empty() || file.path.find('\0') != std::string::npos)
            std::abort();
        const auto slash = file.path.rfind('/');
        geminor::ResultRow row;
        const std::string folder =
            slash == std::string::npos ? std::string() : file.path.substr(0, slash + 1);
        row.folder = folder;
        row.name = file.path.substr(folder.size());
        row.group = file.group;
        row.seen = file.seen;
        rows.push_back(row);
    }
    const auto second = geminor::ReadResultJson(geminor::ResultJson(rows, first->method, {}));
    if (!second || second->files.size() != first->files.size())
        std::abort();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (second->files[i].path != first->files[i].path || !(second->files[i].seen == first->files[i].seen))
            std::abort();
    return 0;
}
