#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/error.h"
#include "engine/request.h"

namespace geminor {

/// The numbers the window shows for a session that cannot be read, each with its meaning.
enum class SessionErrorNumber : std::int32_t {
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    DeviceIoError = 57,
    InputPastEndOfFile = 62,
    PermissionDenied = 75,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
};

/// A failure while reading a session: the number the window shows, and what went wrong.
struct SessionError
{
    SessionErrorNumber number = SessionErrorNumber::DeviceIoError;
    Error error;
};

/// What reading a session gave. `loaded` is false only when the file could not be opened; a
/// bad line stops the reading with `error` set and the rows before it kept.
struct SessionRead
{
    SearchRequest request;  // starts as a new session: byte to byte, protection on, no rows
    bool loaded = false;
    std::optional<SessionError> error;
};

/// The session file's content: the method word, the two check box states, then one
/// "Folder,SubFolder,FileTypes,marker" line per row; every line ends in CR LF. A folder holding
/// CR or LF is written with CR, LF and '%' as %0D, %0A and %25, and "%" after its marker.
std::string SessionText(const SearchRequest &request);

/// Reads a session from its bytes. Lines end at CR LF or a lone CR, or, in a file whose first
/// line ends in a lone LF, at LF. A last line without its line end is taken when it is whole (a
/// method word, a state, a row with a marker Geminor writes), else it is reported as cut short.
SessionRead ParseSession(std::string_view bytes);

/// Reads a session file. A missing file is not loaded and no failure; a file in a missing
/// folder is a failure of the reading (76, "Path not found").
SessionRead LoadSessionFile(const std::string &path);

/// Writes a session file as WriteFileAtomically does (a temporary file renamed into place, so a
/// failure never leaves a damaged file behind), and fails as it does.
Status SaveSessionFile(const std::string &path, const SearchRequest &request);

}  // namespace geminor
