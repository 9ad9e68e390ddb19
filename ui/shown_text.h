#pragma once

#include <QString>
#include <string>

namespace geminor {

/// Bytes from the file system or the engine as the window shows them. Only for display: the
/// bytes themselves are kept to act on, since a name need not be valid UTF-8.
inline QString ShownText(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace geminor
