// Session files come from anywhere: any bytes must parse without a crash, and whatever was
// read must be written and read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "persist/session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const geminor::SessionRead first = geminor::ParseSession({reinterpret_cast<const char *>(data), size});
    const std::string text = geminor::SessionText(first.request);
    const geminor::SessionRead second = geminor::ParseSession(text);
    if (second.error || geminor::SessionText(second.request) != text)
        std::abort();  // what was read does not survive being saved
    return 0;
}
