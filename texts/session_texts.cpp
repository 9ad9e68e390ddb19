#include "texts/session_texts.h"

#include "texts/error_texts.h"

namespace geminor {

std::string SessionErrorText(const SessionError &failure)
{
    const Error &error = failure.error;
    const std::string line = "line " + error.detail;
    switch (error.code) {
    case ErrorCode::StateNotANumber: return "Type mismatch: a check box state must be 0 or 1 (" + line + ")";
    case ErrorCode::StateOutOfRange:
        return "Invalid property value: a check box state must be 0 or 1 (" + line + ")";
    case ErrorCode::UnknownEscape:
        return "Invalid property value: " + line + " holds a folder escape other than %0D, %0A or %25";
    case ErrorCode::NotARow:
        return "Subscript out of range: " + line +
               " is not a search location (Folder,SubFolder,FileTypes,marker)";
    case ErrorCode::CutShort:
        return "Input past end of file: " + line +
               " has no line end and is incomplete; the file was cut short";
    case ErrorCode::FolderGone: return "Path not found: " + error.path;
    case ErrorCode::NotAFile: return "Device I/O error: " + error.path + " is not a regular file";
    case ErrorCode::TooLarge: return "Out of memory: " + error.path + " is too large to be a session file";
    default: return ErrorText(error);
    }
}

}  // namespace geminor
