#include "tests/support/mount_helpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace geminor::test {
namespace {

bool isMountPoint(const std::string &where)
{
    struct stat here = {}, parent = {};
    return ::stat(where.c_str(), &here) == 0 && ::stat((where + "/..").c_str(), &parent) == 0 &&
           here.st_dev != parent.st_dev;
}

/// Waits up to `ms` for `pid` to end; false when it is still running.
bool waitFor(pid_t pid, int ms)
{
    for (int waited = 0; waited <= ms; waited += 2, ::usleep(2000))
        if (const pid_t done = ::waitpid(pid, nullptr, WNOHANG); done == pid || (done < 0 && errno != EINTR))
            return true;
    return false;
}

}  // namespace

std::string EnterPrivateMountNamespace()
{
    static const std::string refused = []() -> std::string {  // once, for all the files of a program
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no private mount namespace: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("mounts cannot be made private: ") + std::strerror(errno);
        return {};
    }();
    return refused;
}

std::string BindfsMissing()
{
    if (std::system("command -v bindfs >/dev/null 2>&1") != 0)
        return "bindfs is not installed";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
    return {};
}

Mount::Mount(const std::string &source, const std::string &where, const char *type, unsigned long flags,
             const char *options)
    : m_where(where)
{
    m_ok = ::mount(source.c_str(), where.c_str(), type, flags, options) == 0;
    if (!m_ok)
        m_error = "mount of " + source + " refused: " + std::strerror(errno);
}

void Mount::unmount()
{
    if (m_ok && ::umount2(m_where.c_str(), 0) != 0)
        ::umount2(m_where.c_str(), MNT_DETACH);
    m_ok = false;
}

BindfsMirror::BindfsMirror(const std::string &source, const std::string &where) : m_where(where)
{
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execlp("bindfs", "bindfs", "-f", source.c_str(), where.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    if (m_pid < 0) {
        m_error = std::string("cannot start bindfs: ") + std::strerror(errno);
        return;
    }
    for (int waited = 0; waited < 5000; waited += 2) {
        if (isMountPoint(where)) {
            m_ok = true;
            return;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "bindfs could not mount (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
            return;
        }
        ::usleep(2000);
    }
    m_error = "bindfs did not mount within 5 s";
}

void BindfsMirror::unmount()
{
    if (m_pid < 0)
        return;
    // Unmounting ends the daemon; one that hangs on is stopped by its own id.
    if (m_ok && ::umount2(m_where.c_str(), 0) != 0)
        ::umount2(m_where.c_str(), MNT_DETACH);
    if (!waitFor(m_pid, 2000)) {
        ::kill(m_pid, SIGTERM);
        waitFor(m_pid, 2000);
    }
    m_pid = -1;
    m_ok = false;
}

}  // namespace geminor::test
