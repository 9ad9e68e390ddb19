#include "texts/error_texts.h"

#include <cstring>

namespace geminor {

std::string ErrorText(const Error &error)
{
    switch (error.code) {
    case ErrorCode::SystemCall: return std::strerror(error.errnum);
    default: break;
    }
    return error.detail.empty() && error.errnum != 0 ? std::strerror(error.errnum) : error.detail;
}

}  // namespace geminor
