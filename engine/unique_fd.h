#pragma once

#include <dirent.h>
#include <utility>

namespace geminor {

/// One open descriptor with one owner: move-only, closed once through Fs(), never throws.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    /// Closes now; the close's own result, 0 when there was nothing to close.
    int reset() noexcept;
    /// Gives the descriptor away: the caller (or the call it is handed to) closes it.
    int release() noexcept { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

/// One open folder listing with one owner: move-only, closed once through Fs(), never throws.
class UniqueDir
{
public:
    UniqueDir() = default;
    explicit UniqueDir(DIR *dir) : m_dir(dir) {}
    UniqueDir(UniqueDir &&other) noexcept : m_dir(std::exchange(other.m_dir, nullptr)) {}
    UniqueDir &operator=(UniqueDir &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_dir = std::exchange(other.m_dir, nullptr);
        }
        return *this;
    }
    UniqueDir(const UniqueDir &) = delete;
    UniqueDir &operator=(const UniqueDir &) = delete;
    ~UniqueDir() { reset(); }

    DIR *get() const { return m_dir; }
    explicit operator bool() const { return m_dir != nullptr; }
    /// Closes now (with the descriptor the listing took over).
    void reset() noexcept;

private:
    DIR *m_dir = nullptr;
};

}  // namespace geminor
