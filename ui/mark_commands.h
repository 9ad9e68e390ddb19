#pragma once

class QLabel;
class QTableView;
class QWidget;

namespace geminor {

struct MainActions;
class Prompter;
class ResultModel;

/// Wires the Mark menu to the model: the rules, the keep rules and the marking by folder or
/// pattern each rewrite marks and `status` shows the totals, which a check box ticked by hand
/// updates at once. The commands beyond the four rules act on the groups shown.
void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status,
                         Prompter &prompter, QWidget &window);

}  // namespace geminor
