#pragma once

#include <optional>

#include "engine/cache_record.h"
#include "engine/checksum_store.h"
#include "engine/error.h"

namespace geminor {

/// The read-only snapshot of the checksum cache that the walk's files are read from. Renewed
/// every kRenewEvery reads: a snapshot held long keeps writers from reusing its pages. The
/// walk's thread only.
class CacheSnapshot
{
public:
    /// Takes a snapshot of the records' table `dbi`; CacheUnusable with LMDB's code, else.
    Status begin(MDB_env *env, MDB_dbi dbi);
    /// Lets it go (at the end of the walk).
    void end();
    explicit operator bool() const { return m_txn != nullptr; }

    /// The record of the file `state` names (fresh or not); nothing when there is none. Its
    /// errors: CacheUnusable (the snapshot could not be renewed), CacheReadFailed (with LMDB's
    /// code) and CacheDamagedRecord.
    Result<std::optional<CacheRecord>> read(const FileIdentity &state);

private:
    digest_store::LmdbTxn m_txn;
    MDB_env *m_env = nullptr;
    MDB_dbi m_dbi = 0;
    unsigned m_reads = 0;
};

}  // namespace geminor
