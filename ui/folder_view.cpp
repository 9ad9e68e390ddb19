#include "ui/folder_view.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "engine/checksum_cache.h"
#include "results/folder_marks.h"
#include "results/format_size.h"
#include "results/journal.h"
#include "ui/folder_model.h"
#include "ui/prompter.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"

namespace geminor {
namespace {

QPushButton *button(QHBoxLayout &row, const char *name, const QString &caption)
{
    auto *made = new QPushButton(caption);
    made->setObjectName(QString::fromLatin1(name));
    row.addWidget(made);
    return made;
}

}  // namespace

FolderView::FolderView(const CommandContext &context, std::function<bool()> toTrash, QWidget *parent)
    : QWidget(parent), m_context(context), m_toTrash(std::move(toTrash))
{
    setObjectName(QStringLiteral("FolderView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    buildButtons(*buttons);
    layout->addLayout(buttons);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("FolderNote"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    m_model = new FolderModel(this);
    m_list = new QTableView(this);
    buildList();
    layout->addWidget(m_list);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &FolderView::showNote);
    clear();
}

void FolderView::buildList()
{
    m_list->setObjectName(QStringLiteral("FolderList"));
    m_list->setModel(m_model);
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setShowGrid(false);
    m_list->setTabKeyNavigation(false);
    const int widths[] = {220, 90, 60, 150, 300};
    for (int c = 0; c <= FolderModel::Path; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (m_list->indexAt(at).isValid())
            m_rowMenu->popup(m_list->viewport()->mapToGlobal(at));
    });
    connect(m_list, &QAbstractItemView::doubleClicked, this, &FolderView::showFiles);
    auto *remove = new QAction(m_list);  // Del as in the file list: the marked ones, after a question
    remove->setShortcut(Qt::Key_Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(remove);
    connect(remove, &QAction::triggered, this, &FolderView::removeMarked);
}

void FolderView::buildButtons(QHBoxLayout &row)
{
    auto *keep = new QToolButton(this);
    keep->setObjectName(QStringLiteral("FolderKeepOne"));
    keep->setText(QStringLiteral("Keep One in Each Group"));
    keep->setPopupMode(QToolButton::InstantPopup);
    auto *rules = new QMenu(keep);
    const std::pair<KeepRule, const char *> kRules[] = {
        {KeepRule::FirstLocation, "Keep in First Search Lo&cation"},
        {KeepRule::Newest, "Keep &Newest"},
        {KeepRule::ShortestPath, "Keep &Shortest Path"},
        {KeepRule::Path, "Keep Path &Matching..."},
        {KeepRule::NotPath, "Mark Path Ma&tching..."}};
    for (const auto &[rule, caption] : kRules)
        rules->addAction(QString::fromLatin1(caption), this, [this, rule = rule] { keepOne(rule); });
    keep->setMenu(rules);
    row.addWidget(keep);
    connect(button(row, "FolderUnmark", QStringLiteral("Unmark All")), &QPushButton::clicked, this,
            [this] { m_model->applyRule(UnmarkFolders); });
    connect(button(row, "FolderRemove", QStringLiteral("Delete...")), &QPushButton::clicked, this,
            &FolderView::removeMarked);
    connect(button(row, "FolderMove", QStringLiteral("Move...")), &QPushButton::clicked, this,
            &FolderView::moveMarked);
    connect(button(row, "FolderShowFiles", QStringLiteral("Show the Files")), &QPushButton::clicked, this,
            &FolderView::showFiles);
    row.addStretch();
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName(QStringLiteral("FolderRowMenu"));
    m_rowMenu->addAction(QStringLiteral("&Show the Files"), this, &FolderView::showFiles);
    m_rowMenu->addAction(QStringLiteral("&Open Folder"), this, [this] {
        if (const QModelIndex current = m_list->currentIndex(); current.isValid())
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(
                m_model->rows()[static_cast<std::size_t>(current.row())].folder.path.c_str())));
    });
    m_rowMenu->addAction(QStringLiteral("&Copy Path"), this, [this] {
        if (const QModelIndex current = m_list->currentIndex(); current.isValid())
            QGuiApplication::clipboard()->setText(QFile::decodeName(
                m_model->rows()[static_cast<std::size_t>(current.row())].folder.path.c_str()));
    });
}

void FolderView::setResult(const FolderResult &result, SearchMethod method)
{
    m_method = method;
    m_scanned = true;
    m_found = FolderRowsOf(result);
    m_went.clear();
    m_model->setRows(m_found);
    showNote();
}

void FolderView::clear()
{
    m_scanned = false;
    m_found.clear();
    m_went.clear();
    m_model->setRows({});
    showNote();
}

void FolderView::showNote()
{
    const std::vector<FolderRow> &rows = m_model->rows();
    m_list->setVisible(!rows.empty());
    if (!m_scanned)
        return m_note->setText(QStringLiteral("Duplicate folders show here after a search by content "
                                              "(Byte to Byte or CRC-32)."));
    if (!ReadsContents(m_method))
        return m_note->setText(QStringLiteral("Duplicate folders are found by the content methods only "
                                              "(Byte to Byte or CRC-32), not by Same Name or Zero Size."));
    if (rows.empty())
        return m_note->setText(QStringLiteral("No duplicate folders were found."));
    std::int32_t lastGroup = 0;
    for (const FolderRow &row : rows)
        lastGroup = std::max(lastGroup, row.group);
    const auto redundant =
        std::count_if(rows.begin(), rows.end(), [](const FolderRow &r) { return r.redundant(); });
    m_note->setText(
        QStringLiteral("%1 group(s) of identical folders, %2 folder(s) whose files all have copies "
                       "elsewhere. Marked: %3 folder(s), %4.")
            .arg(lastGroup)
            .arg(redundant)
            .arg(m_model->totals().count)
            .arg(FormatSize(m_model->totals().size)));
}

void FolderView::keepOne(KeepRule rule)
{
    KeepCriterion criterion{rule, {}};
    if (rule == KeepRule::Path || rule == KeepRule::NotPath) {
        criterion.pattern =
            m_context.prompter
                .askText(this, QStringLiteral("Keep One in Each Group"),
                         QStringLiteral("Pattern (* and ? as in the shell; with a / it is matched "
                                        "against the whole path, else against the folder's name):"),
                         QStringLiteral("*"))
                .trimmed()
                .toStdString();
        if (criterion.pattern.empty())
            return;
    }
    // Ties go to the first location, then to the first listed.
    const std::vector<KeepCriterion> rules{criterion, {KeepRule::FirstLocation, {}}};
    m_model->applyRule([&](std::vector<FolderRow> &rows) { return KeepOneFolder(rows, rules); });
    showNote();
}

void FolderView::showFiles()
{
    const QModelIndex current = m_list->currentIndex();
    if (current.isValid())
        emit filesWanted(m_model->rows()[static_cast<std::size_t>(current.row())].folder.path);
}

bool FolderView::planFor(PlanAction action, const std::string &target, ActionPlan &plan, const QString &title)
{
    plan = {action, m_method, target, FolderRowPlanFiles(m_model->rows()), true, false, JournalFolder()};
    // A folder inside a marked one goes with it; one that holds a kept folder stays.
    SettleNestedFolders(plan.files);
    if (std::any_of(plan.files.begin(), plan.files.end(), [](const PlanFile &f) { return f.marked; }))
        return true;
    m_context.prompter.inform(this, title, QStringLiteral("Please mark folders in the groups first!"));
    return false;
}

void FolderView::removeMarked()
{
    const bool toTrash = m_toTrash();
    ActionPlan plan;
    if (!planFor(toTrash ? PlanAction::Trash : PlanAction::Delete, {}, plan, QStringLiteral("Deleting...")))
        return;
    const auto marked =
        std::count_if(plan.files.begin(), plan.files.end(), [](const PlanFile &f) { return f.marked; });
    const QString question =
        toTrash ? QStringLiteral("Move %1 marked folder(s) and everything in them to the trash?").arg(marked)
                : QStringLiteral("Delete %1 marked folder(s) and everything in them for good? They cannot be "
                                 "restored.")
                      .arg(marked);
    if (m_context.prompter.askYesNo(this, QStringLiteral("Confirm"), question, QMessageBox::Warning))
        run(std::move(plan));
}

void FolderView::moveMarked()
{
    ActionPlan plan;
    if (!planFor(PlanAction::Move, {}, plan, QStringLiteral("Moving...")))
        return;
    plan.targetFolder = m_context.prompter.chooseFolder(this, QStringLiteral("Move selected folders to"));
    if (!plan.targetFolder.empty())
        run(std::move(plan));
}

void FolderView::run(ActionPlan plan)
{
    PlanSizes sizes;  // what each folder holds, in plan order
    for (const FolderRow &row : m_model->rows())
        if (!row.redundant())
            sizes.push_back(row.folder.bytes);
    FileOperation::StartFolders(
        m_context, std::move(plan), std::move(sizes),
        [this](const ActionPlan &done, const PlanReport &report) { followPlan(done, report); });
}

void FolderView::followUndo(const UndoReport &report)
{
    std::vector<FolderRow> rows = m_model->rows();
    FollowFolderUndo(rows, m_found, m_went, report);
    m_model->setRows(std::move(rows));
    showNote();
}

void FolderView::followPlan(const ActionPlan &plan, const PlanReport &report)
{
    std::vector<FolderRow> rows = m_model->rows();
    const std::vector<std::string> went = FollowFolderPlan(rows, plan, report);
    m_model->setRows(std::move(rows));
    showNote();
    if (went.empty())
        return;
    m_went.insert(m_went.end(), went.begin(), went.end());
    // Their files went with them: the file list no longer offers them.
    std::vector<ResultRow> files = m_context.model.rows();
    DropRowsUnder(files, m_context.model.goneRows(), went);
    m_context.model.replaceRows(std::move(files));
}

}  // namespace geminor
