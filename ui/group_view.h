#pragma once

#include <QObject>
#include <string>

class QLabel;
class QLineEdit;
class QTimer;

namespace geminor {

struct MainActions;
class ResultModel;

/// The View menu's group orders and the filter box over the result list, and the status bar's
/// note of the space the marked files take and the whole result could free.
class GroupView final : public QObject
{
    Q_OBJECT
public:
    GroupView(const MainActions &actions, ResultModel &model, QLineEdit &filter, QLabel &space);

    /// Puts a newly loaded result in the order and filter chosen.
    void rowsLoaded();
    /// Shows only the groups with a file in `folder` (ends in '/') or below it.
    void showFolder(const std::string &folder);

protected:
    /// Undo and Redo in the filter box reach the window: a filter is applied as it is typed,
    /// so its text's own undo would silently change what the list shows.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arrange();
    void showSpace();

    const MainActions &m_actions;
    ResultModel &m_model;
    QLineEdit &m_filter;
    QLabel &m_space;
    QTimer *m_typing = nullptr;  // a filter is applied once the typing pauses
};

}  // namespace geminor
