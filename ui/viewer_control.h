#pragma once

#include <QObject>
#include <optional>
#include <utility>

#include "persist/settings_store.h"
#include "ui/prompter.h"

class QAction;
class QMenu;
class QSplitter;
class QTableView;
class QWidget;

namespace geminor {

class FileInfoFrm;
class ResultModel;

/// The picture viewer beside the result list and its toggle (`MPicViewer`, toolbar button
/// kViewerButton): which state the toggle is in, the preview rule for the current row, and the viewer
/// pane, split off beside the list on the first preview and dropped when switched off.
class ViewerControl final : public QObject
{
    Q_OBJECT
public:
    /// Watches the result list: a key released or a click there applies the preview rule, and
    /// a right click pops up `contextMenu`.
    ViewerControl(QWidget &window, Prompter &prompter, SettingsStore &settings, ResultModel &model,
                  QTableView &list, QAction &entry, QAction &button, QMenu &contextMenu);

    /// SettingsStore::kViewerOn or kViewerOff, as the toggle shows it.
    int state() const { return m_display; }
    void toggle();
    /// Shows the current row's picture when it is one and the viewer is on; hides the viewer
    /// for a row that is no picture.
    void previewSelected();
    /// Shows two pictures side by side: the two selected rows, or the current row and its
    /// group's first (its second when it is the first). Switches the viewer on.
    void compareSelected();
    void close();
    FileInfoFrm *viewer() const { return m_viewer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show(int state);
    /// The viewer pane, made on first use.
    FileInfoFrm &pane();
    /// The rows (of the model's rows) to compare, or none.
    std::optional<std::pair<std::size_t, std::size_t>> comparedRows() const;

    QWidget &m_window;
    Prompter &m_prompter;
    SettingsStore &m_settings;
    ResultModel &m_model;
    QTableView &m_list;
    QAction &m_entry;
    QAction &m_button;
    QMenu &m_contextMenu;
    int m_display;
    QSplitter *m_split = nullptr;
    FileInfoFrm *m_viewer = nullptr;
    int m_comparedRow = -1;  // the view's current row when a pair was asked for, until it moves
};

}  // namespace geminor
