#include "app/cli_host.h"

#include <cstdio>
#include <unistd.h>

namespace geminor {

CliHost::CliHost(bool quiet) : m_enabled(!quiet && ::isatty(STDERR_FILENO)) {}

bool CliHost::progressDue()
{
    return m_enabled && m_throttle.due();
}

void CliHost::setStatusText(std::string_view text)
{
    if (!m_enabled || text.empty())
        return;
    std::string line(text.substr(0, 200));
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';  // a newline in a folder name must not break the line
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void CliHost::finish()
{
    if (m_shown)
        std::fputs("\r\033[K", stderr);
    m_shown = false;
}

}  // namespace geminor
