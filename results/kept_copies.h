#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "engine/file_compare.h"
#include "engine/request.h"
#include "results/plan_file.h"

namespace geminor {

/// Opens for reading without following a final link, blocking on a FIFO or touching the access
/// time (where the user may ask that); -1 with errno set when it cannot.
int OpenForReading(int folderFd, const std::string &name);
int OpenPathForReading(const std::string &path);

/// The unmarked files of a plan's groups, and whether one of them still holds a marked file's
/// bytes. For similar pictures, whose group members differ in bytes, a kept copy is a kept picture
/// that is still the very file the scan saw (same file, size and modification time).
class KeptCopies
{
public:
    explicit KeptCopies(const std::vector<PlanFile> &files, SearchMethod method = SearchMethod::ByteToByte);

    /// An unmarked member of the file's group (on `device` when given, and with the owner, mode
    /// and extended attributes of `owner` when given) that is another file with the same bytes,
    /// and its state as it was when they were compared.
    std::optional<std::size_t> find(std::size_t index, int markedFd, std::optional<dev_t> device,
                                    FileIdentity *state, const struct stat *owner = nullptr);
    /// An unmarked member of the file's group that is the same file as `st` (a hard link to it).
    std::optional<std::size_t> linked(std::size_t index, const struct stat &st) const;
    /// After the marked file was set aside: the kept copy found before is still there under its
    /// path, still the same unchanged file, and still not the marked one.
    bool stands(std::size_t keptIndex, const FileIdentity &kept, int markedFd) const;
    bool has(std::int32_t group) const { return m_kept.contains(group); }

private:
    /// Whether the kept member `k`, open as `fd` (`st`), holds what the marked file holds.
    bool keeps(std::size_t k, int fd, const struct stat &st, int markedFd, const struct stat &marked,
               const struct stat *owner);

    const std::vector<PlanFile> &m_files;
    SearchMethod m_method;
    std::unordered_map<std::int32_t, std::vector<std::size_t>> m_kept;  // group -> its unmarked files
    ByteComparer m_compare;
};

}  // namespace geminor
