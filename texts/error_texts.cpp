#include "texts/error_texts.h"

#include <cstring>

namespace geminor {
namespace {

/// The system's words when there is an errno, else the words a caller passed on.
std::string reason(const Error &error)
{
    return error.errnum != 0 ? std::strerror(error.errnum) : error.detail;
}

}  // namespace

std::string ErrorText(const Error &error)
{
    switch (error.code) {
    case ErrorCode::SystemCall: return reason(error);
    case ErrorCode::ReadFailed: return "cannot be read: " + reason(error);
    case ErrorCode::NotJson: return "not JSON: " + error.detail;
    case ErrorCode::NotAResult:
        return error.detail.empty() ? "not a Geminor result" : "not a Geminor result: " + error.detail;
    case ErrorCode::BadEntry: return error.detail;
    case ErrorCode::ChangedWhileRead: return "the result changed while it was read";
    case ErrorCode::InvalidName: return "\"" + error.path + "\" cannot be a file name.";
    case ErrorCode::NameWithSlashOrNul: return "A file name cannot contain '/' or a NUL character.";
    case ErrorCode::NameTooLong: return "A file name can be at most 255 bytes long.";
    // The folder and the system's reason when the journal could not start.
    case ErrorCode::JournalUnwritable:
        return "the journal cannot be written: " +
               (error.path.empty() ? error.detail : error.path + ": " + std::strerror(error.errnum));
    case ErrorCode::NotAPicture: return "not a picture";
    case ErrorCode::PictureUndecodable:
        return error.detail.empty() ? "the picture cannot be decoded"
                                    : "the picture cannot be decoded: " + error.detail;
    case ErrorCode::PictureTooLarge:
        return error.detail.empty() ? "the picture file is too large to decode"
                                    : "the picture is too large to decode (" + error.detail + " pixels)";
    default: break;
    }
    return error.detail.empty() && error.errnum != 0 ? std::strerror(error.errnum) : error.detail;
}

}  // namespace geminor
