#pragma once

#include <cstdint>

namespace geminor {

struct CommandContext;

/// "Export in CSV": asks for a file and writes the model's rows in a job; nothing when there
/// are none.
void ExportCsv(const CommandContext &context);

/// "Export in HTML": asks for a file and writes the report's pages in a job, with "Exporting
/// i/n Please wait..." in the status bar as the pages are made; the head's counts are the last
/// scan's.
void ExportHtml(const CommandContext &context, std::int64_t files, std::int64_t duplicates);

}  // namespace geminor
