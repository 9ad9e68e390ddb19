#include "texts/file_texts.h"

#include <cstring>

namespace geminor {

std::string WriteErrorText(const Error &error)
{
    std::string text = std::strerror(error.errnum);
    if (error.code == ErrorCode::NoReader)
        text += " (no program reads from this FIFO)";
    return text;
}

std::string WriteErrorPathText(const Error &error)
{
    return error.path + ": " + WriteErrorText(error);
}

}  // namespace geminor
