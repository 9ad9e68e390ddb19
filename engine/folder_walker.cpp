#include "engine/folder_walker.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <utility>

#include "engine/case_fold.h"
#include "engine/folder_listing.h"
#include "engine/file_system.h"
#include "engine/mount_table.h"
#include "engine/protected_folders.h"

namespace geminor {
namespace {

constexpr int kDirOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr int kMaxDepth = 1000;
constexpr std::size_t kHandedAtOnce = 4096;
constexpr std::size_t kStatAheadAt = 64;  // entries in a folder worth a second thread

}  // namespace

/// A file's state read by the helper while the walk takes the entries before it.
struct FolderWalker::StatAhead
{
    struct stat st = {};
    int error = -1;  // errno of the fstatat; -1: not read ahead
};

namespace {

/// The states of the regular files of `listing` from entry `from` on that `mayTake` accepts.
template <typename MayTake>
void statAhead(int dirFd, const Listing &listing, std::size_t from, MayTake mayTake,
               std::vector<FolderWalker::StatAhead> &out, const CancelRequested &cancel)
{
    for (std::size_t i = from; i < listing.entries.size(); ++i) {
        if ((i & 255) == 0 && cancel.load(std::memory_order_relaxed))
            return;
        const Listing::Entry &entry = listing.entries[i];
        const std::string_view name = listing.nameOf(entry);
        if (entry.type != DT_REG || !mayTake(name))
            continue;
        FolderWalker::StatAhead &ahead = out[i - from];
        ahead.error = Fs().fstatat(dirFd, name.data(), &ahead.st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    }
}

}  // namespace

struct FolderWalker::FolderContext
{
    const std::string &Folder;
    const std::string &absolute;  // Folder made absolute and lexically normal: what the filters test
    bool excluded = false;
    bool allProtected = false;                           // the folder itself lies in a protected folder
    std::vector<const std::string *> protectCandidates;  // protected folders that may still match a name
    FolderName shared;                                   // what the records of its files keep
};

std::string_view TrimAtNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

std::string AbsoluteFolder(const std::string &folder)
{
    std::string path = folder;
    if (path.empty() || path.front() != '/') {
        if (char *cwd = ::getcwd(nullptr, 0)) {
            path = std::string(cwd) + '/' + path;
            std::free(cwd);
        }
    }
    std::string normal = std::filesystem::path(path).lexically_normal().native();
    if (normal.empty() || normal.back() != '/')
        normal += '/';
    return normal;
}

bool IsExcludedFolder(std::string_view path, const ExcludedFolders &excluded)
{
    for (const std::string &folder : excluded) {
        std::string_view piece(folder);
        while (piece.size() > 1 && piece.back() == '/')
            piece.remove_suffix(1);
        if (piece == "/")
            piece = {};
        if (path.size() == piece.size() + 1 && path.back() == '/' &&
            CompareFolded(path.substr(0, piece.size()), piece) == 0)
            return true;
    }
    return false;
}

FolderWalker::FolderWalker(WalkSettings settings, FileList &fileList, ScanHost &host,
                           const CancelRequested &cancel)
    : m_settings(std::move(settings)), m_fileList(fileList), m_host(host), m_cancel(cancel)
{
    if (std::thread::hardware_concurrency() > 1)
        m_statHelper.emplace(1);
    for (std::string &folder : m_settings.Excluded) {
        // Also by identity: an exclusion named through a link, or a location named through one,
        // still leaves its folder out.
        struct stat st = {};
        if (StatPath(folder, &st) == 0 && S_ISDIR(st.st_mode))
            m_excludedIds.push_back({st.st_dev, st.st_ino});
        folder = AbsoluteFolder(folder);
    }
}

WalkResult FolderWalker::ScanLocation(std::string &Folder, const std::string &SubFolder,
                                      const std::string &FileTypes)
{
    if (Folder.empty() || Folder.back() != '/')
        Folder += '/';
    m_walkSubFolders = SubFolder;
    m_allTypes = FileTypes == "*.*";
    m_foldedFileTypes = FoldCase(FileTypes);
    m_entryCounter = 0;
    m_progressShownAt = 0;
    WalkResult counts;
    UniqueFd fd(OpenPath(Folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        ++m_unlistedFolders;
        return counts;
    }
    struct stat st = {};
    if (Fs().fstat(fd.get(), &st) == 0 && isPseudoFileSystem(st.st_dev, fd.get()))
        return counts;
    const std::string absolute = AbsoluteFolder(Folder);
    if (m_settings.ProtectWindowsFolders && IsProtectedPath(absolute, m_settings.ProtectedFolders))
        ++m_protectedLocations;  // walked all the same: what lies in it is left out
    WalkFolder(std::move(fd), Folder, absolute, counts);
    return counts;
}

void FolderWalker::WalkFolder(UniqueFd dirFd, const std::string &Folder, const std::string &absolute,
                              WalkResult &counts, std::string_view name)
{
    const UniqueDir dir(Fs().fdopendir(dirFd.get()));
    if (!dir) {
        ++m_unlistedFolders;
        notWhole();
        return;
    }
    const int fd = dirFd.release();  // the listing closes it
    const FolderContext here = contextOf(fd, Folder, absolute);
    const FolderCensus::Index parent = m_censusFolder;
    if (here.excluded)
        notWhole();
    else if (m_census)
        m_censusFolder = m_census->enter(parent, name, here.shared, fd);
    const Listing listing = ListSorted(dir.get());
    if (listing.broken) {
        ++m_unlistedFolders;
        notWhole();
    }
    // The second half of a large folder's file states is read by a helper meanwhile: a walk
    // is mostly those reads, and they are independent of one another.
    const std::size_t count = listing.entries.size();
    const std::size_t half = here.excluded || !m_statHelper || count < kStatAheadAt ? count : count / 2;
    std::vector<StatAhead> ahead(count - half);
    PoolJob helper;  // after what it writes
    if (half < count)
        helper = m_statHelper->start([&, fd] {
            statAhead(
                fd, listing, half, [this](std::string_view n) { return mayTake(n); }, ahead, m_cancel);
        });
    for (std::size_t i = 0; i < count; ++i) {
        if (m_cancel.load(std::memory_order_relaxed))
            break;
        if (i == half)
            helper.wait();
        const Listing::Entry &entry = listing.entries[i];
        if (!here.excluded)
            takeEntry(fd, here, listing.nameOf(entry), entry.type, counts,
                      i < half ? nullptr : &ahead[i - half]);
        ++m_entryCounter;
    }
    if (m_census && !here.excluded)
        m_census->leave(m_censusFolder);
    m_censusFolder = parent;
}

FolderWalker::FolderContext FolderWalker::contextOf(int dirFd, const std::string &Folder,
                                                    const std::string &absolute) const
{
    FolderContext here{Folder, absolute, false, false, {}, FolderName(Folder)};
    here.excluded = IsExcludedFolder(absolute, m_settings.Excluded);
    struct stat own = {};
    if (!here.excluded && !m_excludedIds.empty() && Fs().fstat(dirFd, &own) == 0)
        here.excluded = std::find(m_excludedIds.begin(), m_excludedIds.end(),
                                  FileId{own.st_dev, own.st_ino}) != m_excludedIds.end();
    if (m_settings.ProtectWindowsFolders) {
        for (const std::string &folder : m_settings.ProtectedFolders) {
            if (LiesInFolder(absolute, folder))
                here.allProtected = true;
            else if (StartsWithFolded(folder, absolute))
                here.protectCandidates.push_back(&folder);
        }
    }
    return here;
}

void FolderWalker::takeEntry(int dirFd, const FolderContext &here, std::string_view name, unsigned char type,
                             WalkResult &counts, const StatAhead *ahead)
{
    if (type == DT_UNKNOWN) {
        struct stat st = {};
        type = Fs().fstatat(dirFd, name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0 ? DT_UNKNOWN
               : S_ISDIR(st.st_mode)                                           ? DT_DIR
               : S_ISREG(st.st_mode)                                           ? DT_REG
                                                                               : DT_LNK;
    }
    if (type == DT_DIR)
        enterSubFolder(dirFd, here, std::string(name), counts);
    else
        considerFile(dirFd, here, name, type, counts, ahead);  // takes regular files alone
}

bool FolderWalker::isProtected(const FolderContext &here, std::string_view name) const
{
    if (!m_settings.ProtectWindowsFolders)
        return false;
    if (here.allProtected)
        return true;
    // Only a protected folder that begins with this folder's path can still match a name in it.
    for (const std::string *folder : here.protectCandidates)
        if (LiesInFolder(here.absolute + std::string(name), *folder))
            return true;
    return false;
}

void FolderWalker::enterSubFolder(int parentFd, const FolderContext &here, std::string Name,
                                  WalkResult &counts)
{
    if (Name == "." || Name == "..")
        return;
    if (m_walkSubFolders != "Yes" || isProtected(here, Name))
        return notWhole();
    if (!m_settings.IncludeHidden && Name.front() == '.')
        return;
    Name += '/';
    // Each level holds a descriptor and a stack frame: a hostile tree thousands of folders
    // deep ends here, and what lies below is reported as not read.
    UniqueFd fd(m_depth < kMaxDepth ? Fs().openat(parentFd, Name.c_str(), kDirOpenFlags, 0) : -1);
    if (fd) {
        struct stat st = {};
        if (Fs().fstat(fd.get(), &st) != 0 || isPseudoFileSystem(st.st_dev, fd.get()))
            return notWhole();
    }
    ++counts.Folders;
    const std::string path = here.Folder + Name;
    if (!fd) {
        ++m_unlistedFolders;
        notWhole();
    } else {
        ++m_depth;
        WalkFolder(std::move(fd), path, here.absolute + Name, counts,
                   std::string_view(Name).substr(0, Name.size() - 1));
        --m_depth;
    }
    // Every 50 entries, counted across the folders walked: a walk whose folders all hold the
    // same number of entries would otherwise never land on a multiple of 50.
    if (m_entryCounter / 50 != m_progressShownAt / 50) {
        m_progressShownAt = m_entryCounter;
        showProgress(here.Folder, Name);
    }
}

bool FolderWalker::mayTake(std::string_view name) const
{
    if (!m_settings.IncludeHidden && name.front() == '.')
        return false;
    if (m_allTypes)
        return true;
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos &&
           m_foldedFileTypes.find(FoldCase(name.substr(dot))) != std::string::npos;
}

void FolderWalker::considerFile(int dirFd, const FolderContext &here, std::string_view name,
                                unsigned char type, WalkResult &counts, const StatAhead *ahead)
{
    if (type != DT_REG)
        return noteOther(dirFd, name, type);  // links, FIFOs, sockets and devices are never taken
    if (isProtected(here, name))
        return notWhole();
    if (!mayTake(name))
        return;
    struct stat st = {};
    std::string nameText(name);
    int error = 0;
    if (ahead && ahead->error >= 0) {
        st = ahead->st;
        error = ahead->error;
    } else if (Fs().fstatat(dirFd, nameText.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error != 0) {
        if (error != ENOENT) {
            ++m_unreadableFiles;  // a folder that can be listed but not entered: said, not dropped
            notWhole();
        }
        return;
    }
    if (!S_ISREG(st.st_mode))
        return notWhole();
    const bool zeroSizeMethod = m_settings.Method == SearchMethod::ZeroSize;
    if (zeroSizeMethod ? st.st_size > 0 : st.st_size <= 0) {
        if (m_census && st.st_size <= 0)
            m_census->emptyFile(m_censusFolder, name);
        return;
    }
    // The same file through another path (a folder listed twice, a hard link, a bind mount) is
    // taken once; files handed on are told apart by their taker, beside the walk.
    if (!m_hand && !m_seen.firstTime(st.st_dev, st.st_ino))
        return;
    ++counts.Files;
    const FileIdentity seen = IdentityOf(st);
    if (m_census)
        m_census->file(m_censusFolder, name, static_cast<std::uint32_t>(m_fileList.size()), seen.size,
                       seen.modifiedNs);
    m_fileList.push_back(FileRecord{seen.size, std::move(nameText), here.shared,
                                    static_cast<std::uint32_t>(m_fileList.size())},
                         WalkedState{seen.device, seen.inode, seen.modifiedNs, seen.changedNs});
    if (m_hand) {  // in step with the list: a record's id is its place in both
        m_walked.push_back({seen, SizeFirstKey(m_fileList.back()).second});
        if (m_walked.size() == kHandedAtOnce)
            handRest();
    }
}

void FolderWalker::noteOther(int dirFd, std::string_view name, unsigned char type)
{
    if (!m_census || (!m_settings.IncludeHidden && name.front() == '.'))
        return;
    if (type != DT_LNK)
        return notWhole();  // a FIFO, socket or device: nothing to compare it by
    std::string target(4096, '\0');
    const ssize_t length = ::readlinkat(dirFd, std::string(name).c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) == target.size())
        return notWhole();
    target.resize(static_cast<std::size_t>(length));
    m_census->link(m_censusFolder, name, target);
}

void FolderWalker::handRest()
{
    if (m_hand && !m_walked.empty())
        m_hand(std::exchange(m_walked, {}));
    m_walked.reserve(kHandedAtOnce);
}

bool FolderWalker::isPseudoFileSystem(dev_t dev, int fd)
{
    const auto known = m_pseudoByDevice.find(dev);
    if (known != m_pseudoByDevice.end())
        return known->second;
    const std::optional<MountEntry> mount = MountOfDevice(dev);
    const std::string type = mount ? mount->type : std::string();
    const bool pseudo = type.empty() ? IsPseudoFileSystemMagic(fd) : IsPseudoFileSystemType(type);
    m_pseudoByDevice.emplace(dev, pseudo);
    if (!pseudo && m_noteDevice)
        m_noteDevice(dev, fd);
    return pseudo;
}

void FolderWalker::showProgress(const std::string &Folder, const std::string &Name)
{
    if (!m_host.progressDue())
        return;
    ScanProgress progress;
    progress.folder = Folder;
    progress.name = Name;
    m_host.progress(progress);
}

}  // namespace geminor
