#include "engine/cache_checker.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "engine/checksum_store.h"

extern char **environ;

namespace geminor {
namespace {

const char kCheckMode[] = "--check-cache";

/// The hidden mode: `program --check-cache PATH` walks the cache at PATH and exits 0 when it is
/// whole. Run before main() (glibc hands its constructors the program's arguments), while the
/// process has one thread and before anything else of the program has started.
__attribute__((constructor)) void answerCheck(int argc, char **argv, char **)
{
    if (argc != 3 || !argv || std::strcmp(argv[1], kCheckMode) != 0)
        return;
    const rlimit noCore{0, 0};  // a fault is the answer "damaged", not a core file
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::_exit(digest_store::wholeRecords(argv[2]) ? 0 : 1);
}

}  // namespace

CacheCheck CacheCheck::Start(const std::string &path, int folderFd)
{
    posix_spawn_file_actions_t actions;
    if (int rc = ::posix_spawn_file_actions_init(&actions); rc != 0) {
        errno = rc;
        return {};
    }
    // The folder checked stays open across the exec (a dup2 onto itself clears close-on-exec),
    // and the check says nothing: a sanitizer's report of a fault would only be noise.
    int rc = ::posix_spawn_file_actions_adddup2(&actions, folderFd, folderFd);
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO})
        if (rc == 0)
            rc = ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
    std::string mode = kCheckMode;
    std::string reached = path;
    char program[] = "/proc/self/exe";
    char *const argv[] = {program, mode.data(), reached.data(), nullptr};
    pid_t pid = -1;
    if (rc == 0)
        rc = ::posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return {};
    }
    return CacheCheck(pid);
}

CacheCheck::CacheCheck(CacheCheck &&other) noexcept : m_pid(std::exchange(other.m_pid, -1)) {}

CacheCheck &CacheCheck::operator=(CacheCheck &&other) noexcept
{
    if (this != &other) {
        passed();
        m_pid = std::exchange(other.m_pid, -1);
    }
    return *this;
}

CacheCheck::~CacheCheck()
{
    passed();  // (reaped)
}

bool CacheCheck::passed()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0)
        if (errno != EINTR) {
            m_pid = -1;
            return false;
        }
    m_pid = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace geminor
