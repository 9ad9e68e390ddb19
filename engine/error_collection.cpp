#include "engine/error_collection.h"

namespace geminor {
namespace {
thread_local std::optional<HiveError> t_pending;
}  // namespace

HiveError::HiveError(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(source + ": " + description), m_number(number), m_source(std::move(source)),
      m_description(std::move(description))
{
}

const HiveError *PendingError()
{
    return t_pending ? &*t_pending : nullptr;
}

void SetPendingError(const HiveError &error)
{
    t_pending = error;
}

void ClearPendingError()
{
    t_pending.reset();
}

void CErrorCollection::Add(std::int32_t lErrNumber, std::string sSource, std::string sDescription,
                           std::string sHelpContext, std::string sHelpFile)
{
    if (lErrNumber == 0 && PendingError())
        lErrNumber = PendingError()->Number();
    if (lErrNumber == 0)
        return;
    m_records.push_back({std::move(sDescription), std::move(sHelpContext), std::move(sHelpFile), lErrNumber,
                         std::move(sSource)});
}

bool CErrorCollection::IsError()
{
    const HiveError *pending = PendingError();
    if (!pending)
        return false;
    m_records.push_back({pending->Description(), "0", {}, pending->Number(), pending->Source()});
    ClearPendingError();  // recorded once, as a handled error is
    return true;
}

void CErrorCollection::Remove()
{
    if (!m_records.empty())
        m_records.pop_back();
}

void CErrorCollection::Remove(std::int32_t Index)
{
    if (Index >= 0 && Index < Count())
        m_records.erase(m_records.begin() + Index);
}

std::optional<std::int32_t> CErrorCollection::resolve(IndexVar &index) const
{
    if (!index && !m_records.empty())
        index = Count() - 1;
    return index;
}

const CErrorCollection::Record &CErrorCollection::field(std::optional<std::int32_t> index) const
{
    static const Record none;
    const std::int32_t at = index.value_or(Count() - 1);
    return (at >= 0 && at < Count()) ? m_records[static_cast<std::size_t>(at)] : none;
}

}  // namespace geminor
