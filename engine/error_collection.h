#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace geminor {

/// A numbered error raised by the record store when it is told to raise.
class HiveError : public std::runtime_error
{
public:
    HiveError(std::int32_t number, std::string source, std::string description);
    std::int32_t Number() const { return m_number; }
    const std::string &Source() const { return m_source; }
    const std::string &Description() const { return m_description; }

private:
    std::int32_t m_number;
    std::string m_source;
    std::string m_description;
};

/// The error most recently raised by a record store on this thread, until cleared: what the
/// error collection reads when it is given no number of its own.
const HiveError *PendingError();
void SetPendingError(const HiveError &error);
void ClearPendingError();

/// Collected error reports, oldest first (positions from 0).
class CErrorCollection
{
public:
    using IndexVar = std::optional<std::int32_t>;

    /// Records an error; a number of 0 takes the pending error's number, and nothing is
    /// recorded when that is 0 too.
    void Add(std::int32_t lErrNumber = 0, std::string sSource = {}, std::string sDescription = {},
             std::string sHelpContext = {}, std::string sHelpFile = {});
    /// Records the pending error, if there is one, clears it, and says whether there was.
    bool IsError();
    /// Removes the most recent record.
    void Remove();
    /// Removes the record at `Index`; an index outside the records changes nothing.
    void Remove(std::int32_t Index);

    // The fields of the record at an index; without one, of the most recent record, and an
    // empty `Index` variable receives that position. No record: 0 and empty texts.
    std::int32_t ErrNumber() const { return field(std::nullopt).Number; }
    std::int32_t ErrNumber(std::int32_t Index) const { return field(Index).Number; }
    std::int32_t ErrNumber(IndexVar &Index) const { return field(resolve(Index)).Number; }
    std::string Description(std::optional<std::int32_t> Index = std::nullopt) const
    {
        return field(Index).Description;
    }
    std::string Description(IndexVar &Index) const { return field(resolve(Index)).Description; }
    std::string HelpContext(std::optional<std::int32_t> Index = std::nullopt) const
    {
        return field(Index).HelpContext;
    }
    std::string HelpContext(IndexVar &Index) const { return field(resolve(Index)).HelpContext; }
    std::string HelpFile(std::optional<std::int32_t> Index = std::nullopt) const
    {
        return field(Index).HelpFile;
    }
    std::string HelpFile(IndexVar &Index) const { return field(resolve(Index)).HelpFile; }
    std::string Source(std::optional<std::int32_t> Index = std::nullopt) const { return field(Index).Source; }
    std::string Source(IndexVar &Index) const { return field(resolve(Index)).Source; }

    std::int32_t Count() const { return static_cast<std::int32_t>(m_records.size()); }
    void Clear() { m_records.clear(); }

private:
    struct Record
    {
        std::string Description, HelpContext, HelpFile;
        std::int32_t Number = 0;
        std::string Source;
    };
    std::optional<std::int32_t> resolve(IndexVar &index) const;
    const Record &field(std::optional<std::int32_t> index) const;

    std::vector<Record> m_records;
};

}  // namespace geminor
