#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

#include "engine/file_identity.h"
#include "engine/folder_census.h"
#include "engine/file_record.h"
#include "engine/request.h"
#include "engine/scan_host.h"
#include "engine/seen_files.h"
#include "engine/thread_pool.h"
#include "engine/unique_fd.h"

namespace geminor {

/// The parts of a request that every directory entry is tested against.
struct WalkSettings
{
    SearchMethod Method = SearchMethod::ByteToByte;
    bool ProtectWindowsFolders = true;
    bool IncludeHidden = false;
    std::vector<std::string> ProtectedFolders;  // used when ProtectWindowsFolders is on
    ExcludedFolders Excluded;
};

/// Text up to the first NUL; the whole text when there is none.
std::string_view TrimAtNul(std::string_view text);

/// `folder` made absolute (against the working folder) and lexically normal, ending in '/':
/// the form in which exclusions and protection are tested, whatever way a path was typed.
std::string AbsoluteFolder(const std::string &folder);

/// True when `path` (ending in '/') is one of `excluded`, ignoring case. Trailing slashes of an
/// excluded folder do not matter.
bool IsExcludedFolder(std::string_view path, const ExcludedFolders &excluded);

/// An accepted file as the walk hands it on: its state (what the checksum cache keys) and its
/// record's sort key (SizeFirstKey).
struct WalkedFile
{
    FileIdentity state;
    std::uint64_t namePrefix = 0;
};

/// Walks search locations into file records. One walker serves one scan: a file reached twice
/// (same device and inode) is accepted only the first time, across all locations (see handFiles).
class FolderWalker
{
public:
    FolderWalker(WalkSettings settings, FileList &fileList, ScanHost &host, const CancelRequested &cancel);

    /// Walks one location. Appends '/' to `Folder` when it lacks one. Runs on the caller's thread,
    /// depth-first, each folder in byte order of its names; returns what was accepted and entered until
    /// cancel.
    WalkResult ScanLocation(std::string &Folder, const std::string &SubFolder, const std::string &FileTypes);

    /// Folders that could not be opened or listed, over all locations walked so far.
    std::int64_t unlistedFolders() const { return m_unlistedFolders; }
    /// Files listed but whose state could not be read (a folder without execute permission).
    std::int64_t unreadableFiles() const { return m_unreadableFiles; }
    /// Locations that lie in a protected system folder.
    std::int64_t protectedLocations() const { return m_protectedLocations; }
    /// Also hands each accepted file on to `hand` as a WalkedFile, in the list's order, a few
    /// thousand at a time (to a WalkCompanion, which works on them meanwhile). The files are
    /// then not told from those already walked: the list and the counts hold a file reached
    /// twice twice, and the taker leaves out all but the first.
    void handFiles(std::function<void(std::vector<WalkedFile>)> hand) { m_hand = std::move(hand); }
    /// Also tells `note` of each file system the walk enters, by device, with a folder on it,
    /// before any of its files is handed on (the checksum cache asks what file system it is).
    void noteDevices(std::function<void(dev_t, int)> note) { m_noteDevice = std::move(note); }
    /// Hands over the files not yet handed.
    void handRest();
    /// Also tells `census` what each folder holds (files by their record's id).
    void takeCensus(FolderCensus *census) { m_census = census; }

    /// A file's state read ahead of the walk (internal).
    struct StatAhead;

private:
    struct FileId
    {
        dev_t dev;
        ino_t ino;
        bool operator==(const FileId &) const = default;
    };
    struct FolderContext;

    void WalkFolder(UniqueFd dirFd, const std::string &Folder, const std::string &absolute,
                    WalkResult &counts, std::string_view name = {});
    /// Says the folder being walked holds something not walked or not read.
    void notWhole()
    {
        if (m_census)
            m_census->partial(m_censusFolder);
    }
    FolderContext contextOf(int dirFd, const std::string &Folder, const std::string &absolute) const;
    void takeEntry(int dirFd, const FolderContext &here, std::string_view name, unsigned char type,
                   WalkResult &counts, const StatAhead *ahead);
    void enterSubFolder(int parentFd, const FolderContext &here, std::string name, WalkResult &counts);
    void considerFile(int dirFd, const FolderContext &here, std::string_view name, unsigned char type,
                      WalkResult &counts, const StatAhead *ahead);
    /// Whether a file of this name is taken, by its name alone (hidden, file types).
    bool mayTake(std::string_view name) const;
    /// A name that is no regular file, told to the census.
    void noteOther(int dirFd, std::string_view name, unsigned char type);
    bool isPseudoFileSystem(dev_t dev, int fd);
    bool isProtected(const FolderContext &here, std::string_view name) const;
    void showProgress(const std::string &Folder, const std::string &Name);

    WalkSettings m_settings;
    FileList &m_fileList;
    std::function<void(std::vector<WalkedFile>)> m_hand;
    std::function<void(dev_t, int)> m_noteDevice;
    std::vector<WalkedFile> m_walked;  // not yet handed
    ScanHost &m_host;
    const CancelRequested &m_cancel;
    std::string m_walkSubFolders;
    std::string m_foldedFileTypes;
    bool m_allTypes = true;
    std::int32_t m_entryCounter = 0;
    std::int32_t m_progressShownAt = 0;
    int m_depth = 0;  // folders entered below the location
    std::int64_t m_unlistedFolders = 0;
    std::int64_t m_unreadableFiles = 0;
    std::int64_t m_protectedLocations = 0;
    std::vector<FileId> m_excludedIds;  // the excluded folders themselves, by device and inode
    SeenFiles m_seen;
    std::unordered_map<dev_t, bool> m_pseudoByDevice;
    FolderCensus *m_census = nullptr;
    FolderCensus::Index m_censusFolder = FolderCensus::kNone;  // the folder being walked
    std::optional<ThreadPool> m_statHelper;                    // reads the states of files ahead
};

}  // namespace geminor
