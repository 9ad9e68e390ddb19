#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace geminor {

/// What went wrong, as a fact; the front ends' texts module turns it into a sentence.
/// Each part of the code adds its codes in its own block, so additions do not collide.
enum class ErrorCode {
    SystemCall,  // a system call failed: `errnum` says why

    // files and folders
    FolderGone,
    NameTaken,
    NotAFile,
    TooLarge,
    NoReader,    // a FIFO written to that no program reads from (`errnum` ENXIO)
    ReadFailed,  // a read after the open failed: `errnum` says why

    // file formats read back (sessions, reports, journals, settings)
    Malformed,
    NotJson,           // detail: what the JSON reader met, and at which byte
    NotAResult,        // detail: what is missing or repeated (may be empty)
    BadEntry,          // detail: which group or file of a result, and what is wrong with it
    ChangedWhileRead,  // the result read back differs from the one checked
    StateNotANumber,   // a session's check box state; detail: its line number
    StateOutOfRange,   // detail: the line number
    UnknownEscape,     // a session's folder escape; detail: the line number
    NotARow,           // a session line that is no search location; detail: the line number
    CutShort,          // a session's last line without its line end; detail: the line number

    // names
    InvalidName,  // empty, "." or ".."; path: the name
    NameWithSlashOrNul,
    NameTooLong,

    // journal and undo
    JournalUnwritable,
    ChangedWhilePutBack,
    WhereaboutsUnknown,
    LeftUnderOtherName,
    CopyGone,
    CopyChanged,
    NotOurLink,
    NotInTrash,
    NotUnderNewName,
    CopyChangedOrGone,

    // checksum cache
    CacheUnusable,            // LMDB (or the system) refused: `errnum` holds its code
    CacheFolderNotOwn,        // the cache's folder is not the user's, or others can write in it
    CacheFileNotOwn,          // the file `detail` of the cache is not a file of the user's
    CacheFileOthersCanWrite,  // ... is the user's, but others can write it
    CacheFileNotOwnAlone,     // ... was replaced, once open, by one not the user's alone
    CacheReadFailed,          // reading a record: `errnum` holds LMDB's code
    CacheDamagedRecord,
    CacheWriterBusy,  // another scan held the writers' lock too long

    // pictures
    NotAPicture,         // no format a picture decoder reads
    PictureUndecodable,  // a picture format, but broken or cut short: detail says what the decoder met
    PictureTooLarge,     // beyond what is decoded: detail "W x H", empty when the file itself is too large
};

/// An error as a value: its code, the errno when a system call said it, the path it concerns,
/// and a detail the sentence may need (a line number, another path, the parser's own words).
struct Error
{
    ErrorCode code = ErrorCode::SystemCall;
    int errnum = 0;
    std::string path;
    std::string detail;
};

/// The error side of a Result, spelled as `std::unexpected` is, so the move to C++23's
/// `std::expected` is a rename.
class Unexpected
{
public:
    explicit Unexpected(Error error) : m_error(std::move(error)) {}
    Error &error() & { return m_error; }
    Error &&error() && { return std::move(m_error); }

private:
    Error m_error;
};

/// A failed call: `return Fail(ErrorCode::NotFound, 0, path);`
inline Unexpected Fail(ErrorCode code, int errnum = 0, std::string path = {}, std::string detail = {})
{
    return Unexpected(Error{code, errnum, std::move(path), std::move(detail)});
}

/// A failed system call, with the errno it left.
inline Unexpected FailErrno(std::string path = {}, int errnum = errno)
{
    return Fail(ErrorCode::SystemCall, errnum, std::move(path));
}

/// A value or an error, the subset of `std::expected<T, Error>` the code uses.
template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Unexpected failure) : m_state(std::in_place_index<1>, std::move(failure).error()) {}

    bool has_value() const { return m_state.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T &value() & { return std::get<0>(m_state); }
    const T &value() const & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T &&operator*() && { return std::move(*this).value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    const Error &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, Error> m_state;
};

/// Done, or the error that stopped it.
template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Unexpected failure) : m_error(std::move(failure).error()) {}

    bool has_value() const { return !m_error; }
    explicit operator bool() const { return has_value(); }
    const Error &error() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

using Status = Result<void>;

}  // namespace geminor
