#pragma once

#include <string>
#include <sys/mount.h>
#include <sys/types.h>

/// Skips the test, saying `reason`, unless `reason` is empty.
#define SKIP_IF(reason)                                                                                      \
    do {                                                                                                     \
        if (const std::string why = (reason); !why.empty())                                                  \
            GTEST_SKIP() << why;                                                                             \
    } while (false)

namespace geminor::test {

/// Moves the process into a mount namespace of its own whose mounts are private, so that
/// nothing a test mounts is seen outside; the reason when the machine refuses, else empty.
/// Call it while the process has one thread (before main()).
std::string EnterPrivateMountNamespace();

/// Why no bindfs mirror can be made here (no bindfs, no /dev/fuse); empty when one can.
std::string BindfsMissing();

/// `source` mounted on `where` (bind-mounted unless `type` says otherwise) until unmount() or the
/// end of the object.
class Mount
{
public:
    Mount(const std::string &source, const std::string &where, const char *type = nullptr,
          unsigned long flags = MS_BIND, const char *options = nullptr);
    ~Mount() { unmount(); }
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;
    bool ok() const { return m_ok; }
    const std::string &error() const { return m_error; }
    void unmount();

private:
    std::string m_where;
    bool m_ok = false;
    std::string m_error;
};

/// A bindfs mirror of `source` on `where`. bindfs runs in the foreground as a child of the
/// test, so that unmounting ends it and it can be waited for.
class BindfsMirror
{
public:
    BindfsMirror(const std::string &source, const std::string &where);
    ~BindfsMirror() { unmount(); }
    BindfsMirror(const BindfsMirror &) = delete;
    BindfsMirror &operator=(const BindfsMirror &) = delete;
    bool ok() const { return m_ok; }
    const std::string &error() const { return m_error; }
    void unmount();

private:
    std::string m_where;
    pid_t m_pid = -1;
    bool m_ok = false;
    std::string m_error;
};

}  // namespace geminor::test
