#pragma once

#include <cstdlib>
#include <string>
#include <gtest/gtest.h>
#include <vector>

#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GEMINOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GEMINOR_SANITIZED 1
#endif
#endif

/// Address-space limits mean nothing under sanitizers, which reserve terabytes up front.
#ifdef GEMINOR_SANITIZED
#define SKIP_IF_SANITIZED() GTEST_SKIP() << "sanitizers reserve terabytes of address space"
#else
#define SKIP_IF_SANITIZED() static_cast<void>(0)
#endif

namespace geminor::test {

/// geminor-cli runs that keep the last run's standard output and error.
struct Cli
{
    /// The exit status of geminor-cli with `args`, after `prefix` (see RunCli).
    int run(const std::vector<std::string> &args, const std::string &prefix = {})
    {
        return RunCli(args, out, err, prefix);
    }
    std::string out, err;
};

/// A test with a tree of its own to run geminor-cli on.
struct CliTest : ::testing::Test, Cli
{
    TempTree tree;
};

/// Points the home trash and the journal (XDG_DATA_HOME) at `data` for the life of the object.
struct TrashHome
{
    explicit TrashHome(const std::string &data) { ::setenv("XDG_DATA_HOME", data.c_str(), 1); }
    ~TrashHome() { ::unsetenv("XDG_DATA_HOME"); }
};

/// A command prefix that caps the address space at `megabytes`.
inline std::string MemoryLimit(int megabytes)
{
    return "prlimit --as=" + std::to_string(static_cast<long long>(megabytes) << 20) + " ";
}

}  // namespace geminor::test
