#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace geminor {

/// The ways of deciding that files are duplicates: the four of sessions, and pictures that
/// look alike (not kept in sessions yet).
enum class SearchMethod { ByteToByte, Crc32, SameName, ZeroSize, SimilarPictures };

/// How alike two pictures must look to be similar pictures.
enum class Similarity { VeryHigh, High, Medium, Low };

/// One row of the search-location list. An exclusion row uses only `Folder`.
struct SearchLocation
{
    std::string Folder;             // as entered; bytes, may lack the trailing '/'
    std::string SubFolder = "Yes";  // only the exact text "Yes" walks sub-folders
    std::string FileTypes = "*.*";  // "*.*" or ".mp3;.jpg"
    bool Exclude = false;           // the row names a folder to leave out
    bool Reference = false;         // keep everything here: its files are never marked

    bool operator==(const SearchLocation &) const = default;
};

/// Everything a scan starts from: the rows in list order, the method and the two options.
struct SearchRequest
{
    std::vector<SearchLocation> Locations;
    SearchMethod Method = SearchMethod::ByteToByte;
    bool ProtectWindowsFolders = true;  // the protected system folders of this machine
    bool IncludeHidden = false;
    /// Also find whole folders that are copies (content methods only); not kept in sessions.
    bool Folders = false;
    /// Similar pictures only; not kept in sessions.
    Similarity similarity = Similarity::High;

    bool operator==(const SearchRequest &) const = default;
};

/// The folders of the exclusion rows, in list order. A list rather than a ';'-joined text,
/// since ';' is a legal character in a Linux folder name.
using ExcludedFolders = std::vector<std::string>;

/// Set by the cancel command from any thread; read by the walk and the searches.
using CancelRequested = std::atomic<bool>;

/// What one location's walk returns.
struct WalkResult
{
    std::int64_t Files = 0;    // files accepted
    std::int64_t Folders = 0;  // sub-folders entered
};

}  // namespace geminor
