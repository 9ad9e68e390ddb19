#include "engine/cache_snapshot.h"

namespace geminor {

using namespace digest_store;

Status CacheSnapshot::begin(MDB_env *env, MDB_dbi dbi)
{
    int rc = 0;
    m_env = env;
    m_dbi = dbi;
    m_txn = beginTxn(env, MDB_RDONLY, rc);
    return m_txn ? Status() : Fail(ErrorCode::CacheUnusable, rc);
}

void CacheSnapshot::end()
{
    if (m_txn)
        DropMappedPages(m_env);
    m_txn.reset();
}

Result<std::optional<CacheRecord>> CacheSnapshot::read(const FileIdentity &state)
{
    if (++m_reads % kRenewEvery == 0) {
        mdb_txn_reset(m_txn.get());
        DropMappedPages(m_env);
        if (const int rc = mdb_txn_renew(m_txn.get()); rc != 0)
            return Fail(ErrorCode::CacheUnusable, rc);
    }
    const CacheKey key = CacheKeyOf(state.device, state.inode);
    MDB_val k = valueOf(key.data(), key.size()), value;
    const int rc = mdb_get(m_txn.get(), m_dbi, &k, &value);
    if (rc == MDB_NOTFOUND)
        return std::optional<CacheRecord>();
    if (rc != 0)
        return Fail(ErrorCode::CacheReadFailed, rc);
    const std::optional<CacheRecord> record = recordAt(k, value);
    if (!record)
        return Fail(ErrorCode::CacheDamagedRecord);
    return record;
}

}  // namespace geminor
