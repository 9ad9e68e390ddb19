#pragma once

class QLabel;
class QTableView;

namespace geminor {

struct MainActions;
class ResultModel;

/// Wires the Mark menu's rules and the check boxes to the model: each rule rewrites every mark
/// and `status` shows the totals, which a check box ticked by hand updates at once.
void ConnectMarkCommands(const MainActions &actions, ResultModel &model, QTableView &list, QLabel &status);

}  // namespace geminor
