#pragma once

#include <vector>

#include "results/exports.h"
#include "ui/prompter.h"

class QLabel;
class QWidget;

namespace geminor {

/// "Export in CSV": asks for a file and writes the rows; nothing when there are none.
void ExportCsv(QWidget &window, Prompter &prompter, const std::vector<ResultRow> &rows);

/// "Export in HTML": asks for a file and writes the report's pages, with "Exporting i/n Please
/// wait..." in `status` after each page; the head's counts are the last scan's.
void ExportHtml(QWidget &window, Prompter &prompter, const std::vector<ResultRow> &rows, QLabel &status,
                std::int64_t files, std::int64_t duplicates);

}  // namespace geminor
