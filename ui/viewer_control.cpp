#include "ui/viewer_control.h"

#include <algorithm>

#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QLayout>
#include <QMouseEvent>
#include <QSplitter>
#include <QTableView>

#include "ui/file_info_frm.h"
#include "ui/image_list.h"
#include "ui/result_model.h"

namespace geminor {

static_assert(kPictureViewerOn == SettingsStore::kViewerOn && kPictureViewerOff == SettingsStore::kViewerOff,
              "the button shows the setting's value as its picture");

ViewerControl::ViewerControl(QWidget &window, Prompter &prompter, SettingsStore &settings, ResultModel &model,
                             QTableView &list, QAction &entry, QAction &button, QMenu &contextMenu)
    : QObject(&window), m_window(window), m_prompter(prompter), m_settings(settings), m_model(model),
      m_list(list), m_entry(entry), m_button(button), m_contextMenu(contextMenu),
      m_display(settings.Display())
{
    show(m_display);  // a value other than the two states stays on the button
    // The viewer shares the list's place, split beside it, so it never covers a column.
    if (QLayout *layout = list.parentWidget() ? list.parentWidget()->layout() : nullptr) {
        m_split = new QSplitter(Qt::Horizontal, list.parentWidget());
        m_split->setObjectName(QStringLiteral("ViewerSplitter"));
        m_split->setChildrenCollapsible(false);
        delete layout->replaceWidget(&list, m_split);
        m_split->addWidget(&list);
    }
    list.installEventFilter(this);
    list.viewport()->installEventFilter(this);
}

bool ViewerControl::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // The key that chose Compare from a menu is released on the list: the pair stays until the
        // current row moves.
        const bool comparing = m_comparedRow >= 0 && m_list.currentIndex().row() == m_comparedRow;
        if (key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Shift && key != Qt::Key_Control &&
            key != Qt::Key_Alt && !comparing)
            previewSelected();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            m_contextMenu.popup(mouse->globalPosition().toPoint());
        else
            previewSelected();
    }
    return false;
}

void ViewerControl::show(int state)
{
    m_display = state;
    m_entry.setChecked(state == SettingsStore::kViewerOn);
    m_button.setIcon(ImageListIcon(state));
}

void ViewerControl::toggle()
{
    if (m_display == SettingsStore::kViewerOff) {
        show(SettingsStore::kViewerOn);
        if (m_model.rowCount() > 0)
            previewSelected();
    } else {
        show(SettingsStore::kViewerOff);
        close();
    }
    m_settings.SetDisplay(m_display);
}

void ViewerControl::close()
{
    delete m_viewer;  // made again on the next preview
    m_viewer = nullptr;
}

void ViewerControl::previewSelected()
{
    m_comparedRow = -1;
    const QModelIndex current = m_list.currentIndex();
    if (m_display != SettingsStore::kViewerOn || m_model.rowCount() == 0 || !current.isValid())
        return;
    const ResultRow &row = m_model.rows()[m_model.rowOf(current.row())];
    if (!IsPreviewName(row.name)) {
        if (m_viewer)
            m_viewer->hide();  // kept, with its last picture
        return;
    }
    pane().LoadPic(row.path());
    m_viewer->show();
}

FileInfoFrm &ViewerControl::pane()
{
    if (m_viewer)
        return *m_viewer;
    m_viewer = new FileInfoFrm(m_prompter, &m_window);
    if (m_split) {
        // A quarter of the width: the list keeps room for its Path column.
        const int width = m_split->width();
        const int pane = std::max(width / 4, 200);
        m_split->addWidget(m_viewer);
        m_split->setSizes({width - pane, pane});
    } else {
        m_viewer->setWindowFlag(Qt::Tool);
        m_viewer->resize(320, 320);
    }
    // Off until the toggle is used again; the stored setting stays as the toggle left it.
    connect(m_viewer, &FileInfoFrm::viewerDisabled, this, [this] { show(SettingsStore::kViewerOff); });
    return *m_viewer;
}

std::optional<std::pair<std::size_t, std::size_t>> ViewerControl::comparedRows() const
{
    const std::vector<ResultRow> &rows = m_model.rows();
    const QModelIndexList selected = m_list.selectionModel()->selectedRows();
    std::optional<std::pair<std::size_t, std::size_t>> pair;
    if (selected.size() == 2) {
        pair = {m_model.rowOf(selected[0].row()), m_model.rowOf(selected[1].row())};
    } else if (m_list.currentIndex().isValid() && m_model.rowCount() > 0) {
        const std::size_t row = m_model.rowOf(m_list.currentIndex().row());
        std::size_t first = row;
        while (first > 0 && rows[first - 1].group == rows[row].group)
            --first;
        const std::size_t other = first != row ? first : row + 1;
        if (rows[row].group != 0 && other < rows.size() && rows[other].group == rows[row].group)
            pair = {std::min(row, other), std::max(row, other)};
    }
    if (pair && !(IsPreviewName(rows[pair->first].name) && IsPreviewName(rows[pair->second].name)))
        pair.reset();
    return pair;
}

void ViewerControl::compareSelected()
{
    const auto pair = comparedRows();
    if (!pair) {
        m_prompter.inform(&m_window, QStringLiteral("Compare Side by Side"),
                          QStringLiteral("Select two pictures, or a picture of a group, to compare them."),
                          QMessageBox::Information);
        return;
    }
    if (m_display != SettingsStore::kViewerOn) {
        show(SettingsStore::kViewerOn);
        m_settings.SetDisplay(m_display);
    }
    pane().LoadPair(m_model.rows()[pair->first].path(), m_model.rows()[pair->second].path());
    m_comparedRow = m_list.currentIndex().row();
    m_viewer->show();
    if (m_split && m_viewer->width() < m_split->width() / 2)  // two pictures need the room of two
        m_split->setSizes({m_split->width() / 2, m_split->width() / 2});
}

}  // namespace geminor
