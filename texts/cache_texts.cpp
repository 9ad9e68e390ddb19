#include "texts/cache_texts.h"

#include <cstring>
#include <lmdb.h>

#include "engine/checksum_store.h"
#include "texts/error_texts.h"

namespace geminor {
namespace {

/// Why LMDB (or the system, for an errno value) refused.
std::string why(int rc)
{
    return rc == MDB_INVALID || rc == MDB_CORRUPTED || rc == MDB_PAGE_NOTFOUND || rc == MDB_VERSION_MISMATCH
               ? std::string("damaged (") + mdb_strerror(rc) +
                     "); clear the checksum cache to start a new one"
               : mdb_strerror(rc);
}

std::string reason(const Error &error)
{
    switch (error.code) {
    case ErrorCode::SystemCall:
        return (error.detail.empty() ? "" : error.detail + ": ") + std::strerror(error.errnum);
    case ErrorCode::CacheUnusable: return why(error.errnum);
    case ErrorCode::CacheFolderNotOwn: return "a folder that other users can write or that is not yours";
    case ErrorCode::CacheFileNotOwn: return error.detail + " is not a file of yours";
    case ErrorCode::CacheFileOthersCanWrite: return error.detail + " can be written by others";
    case ErrorCode::CacheFileNotOwnAlone: return error.detail + " is not a file of yours alone";
    case ErrorCode::CacheReadFailed: return "reading: " + why(error.errnum);
    case ErrorCode::CacheDamagedRecord:
        return "a damaged record; clear the checksum cache to start a new one";
    case ErrorCode::CacheWriterBusy:
        return "another scan has held it for " + std::to_string(digest_store::kWaitForWriterMs / 1000) + " s";
    default: return ErrorText(error);
    }
}

}  // namespace

std::string CacheErrorText(const Error &error)
{
    return (error.path.empty() ? "" : error.path + ": ") + reason(error);
}

std::string CacheWarningText(const CacheWarning &warning)
{
    const char *const stage = warning.stage == CacheWarning::Stage::NotUsed ? "not used"
                              : warning.stage == CacheWarning::Stage::NotUsedFromHere
                                  ? "not used from here on"
                                  : "not updated";
    return std::string("checksum cache ") + stage + ": " + CacheErrorText(warning.error);
}

}  // namespace geminor
