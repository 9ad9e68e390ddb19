#include "tests/support/cli_helpers.h"

namespace geminor::test {

int Cli::run(const std::vector<std::string> &args, const std::string &prefix)
{
    return RunCli(args, out, err, prefix);
}

std::string MemoryLimit(int megabytes)
{
    return "prlimit --as=" + std::to_string(static_cast<long long>(megabytes) << 20) + " ";
}

}  // namespace geminor::test
