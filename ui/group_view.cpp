#include "ui/group_view.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "results/format_size.h"
#include "ui/main_actions.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"

namespace geminor {

GroupView::GroupView(const MainActions &actions, ResultModel &model, QLineEdit &filter, QLabel &space)
    : QObject(&model), m_actions(actions), m_model(model), m_filter(filter), m_space(space)
{
    m_filter.setObjectName(QStringLiteral("GroupFilter"));
    m_filter.setPlaceholderText(QStringLiteral("Show only the groups with a file whose path contains..."));
    m_filter.setClearButtonEnabled(true);
    m_space.setObjectName(QStringLiteral("PanelSpace"));
    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(250);
    connect(m_typing, &QTimer::timeout, this, &GroupView::arrange);
    connect(&m_filter, &QLineEdit::textChanged, m_typing, qOverload<>(&QTimer::start));
    connect(&m_filter, &QLineEdit::returnPressed, this, &GroupView::arrange);
    for (QAction *order : actions.groupOrders)
        connect(order, &QAction::triggered, this, &GroupView::arrange);
    connect(actions.MFilter, &QAction::triggered, &m_filter, [this] {
        m_filter.setFocus();
        m_filter.selectAll();
    });
    m_filter.installEventFilter(this);
    connect(&model, &QAbstractItemModel::dataChanged, this, &GroupView::showSpace);
    connect(&model, &QAbstractItemModel::modelReset, this, &GroupView::showSpace);
    showSpace();
}

bool GroupView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)) {
            key->ignore();  // not the text's: the window's shortcut runs
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void GroupView::rowsLoaded()
{
    if (!m_actions.groupOrders.front()->isChecked() || !m_filter.text().isEmpty())
        arrange();
}

void GroupView::showFolder(const std::string &folder)
{
    m_filter.setText(ShownText(folder));
    arrange();
}

void GroupView::arrange()
{
    m_typing->stop();
    int order = 0;
    for (QAction *entry : m_actions.groupOrders)
        if (entry->isChecked())
            order = entry->data().toInt();
    m_model.arrange(static_cast<GroupOrder>(order), m_filter.text().toStdString());
}

void GroupView::showSpace()
{
    if (m_model.rows().empty()) {
        m_space.clear();
        return;
    }
    m_space.setText(
        QStringLiteral("Marked %1 of %2 to reclaim")
            .arg(FormatSize(m_model.totals().size), FormatSize(static_cast<double>(m_model.reclaimable()))));
}

}  // namespace geminor
