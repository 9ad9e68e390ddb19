#include "ui/operation_texts.h"

#include "results/format_size.h"

namespace geminor {

QString OperationTitle(PlanAction action)
{
    switch (action) {  // no default: a new action does not compile (-Werror=switch) until it has a title
    case PlanAction::Copy: return QStringLiteral("Copying...");
    case PlanAction::Move: return QStringLiteral("Moving...");
    case PlanAction::Trash: return QStringLiteral("Send to Trash");
    case PlanAction::Delete: return QStringLiteral("Deleting...");
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
    case PlanAction::Clone: return QStringLiteral("Linking...");
    case PlanAction::Rename: return QStringLiteral("Rename");
    }
    return {};
}

namespace {

/// "moved to the Trash": what an action did to a file.
QString doneWord(PlanAction action)
{
    switch (action) {
    case PlanAction::Copy: return QStringLiteral("copied");
    case PlanAction::Move: return QStringLiteral("moved");
    case PlanAction::Trash: return QStringLiteral("moved to the Trash");
    case PlanAction::Delete: return QStringLiteral("deleted for good");
    case PlanAction::HardLink: return QStringLiteral("replaced by hard links");
    case PlanAction::SymbolicLink: return QStringLiteral("replaced by symbolic links");
    case PlanAction::Clone: return QStringLiteral("replaced by clones");
    case PlanAction::Rename: return QStringLiteral("renamed");
    }
    return {};
}

}  // namespace

/// "hard links to": what a link action puts in place of a file, in its question.
QString LinkKind(PlanAction action)
{
    switch (action) {
    case PlanAction::HardLink: return QStringLiteral("hard links to");
    case PlanAction::SymbolicLink: return QStringLiteral("symbolic links to");
    case PlanAction::Clone: return QStringLiteral("clones of");
    case PlanAction::Copy:
    case PlanAction::Move:
    case PlanAction::Trash:
    case PlanAction::Delete:
    case PlanAction::Rename: break;
    }
    return {};
}

QString DoneText(PlanAction action, std::size_t files, std::uint64_t bytes, bool folders)
{
    const QString size = FormatSize(static_cast<double>(bytes));
    const QString what = folders ? QStringLiteral("folder(s)") : QStringLiteral("file(s)");
    return IsLinkAction(action)
               ? QStringLiteral("%1 %2 %3, %4 freed.").arg(files).arg(what, doneWord(action), size)
               : QStringLiteral("%1 %2 %3 (%4).").arg(files).arg(what, doneWord(action), size);
}

QString SimilarQuestion(PlanAction action, std::int64_t count)
{
    return QStringLiteral("%1 similar pictures will be %2; the kept ones are not byte-identical copies.")
        .arg(count)
        .arg(doneWord(action));
}

}  // namespace geminor
