#include "engine/cache_writer.h"

#include <algorithm>
#include <fcntl.h>
#include <utility>

namespace geminor {

using namespace digest_store;

void CacheWriter::start(Target target, std::function<Records()> collect)
{
    m_started = true;
    m_target = std::move(target);
    m_thread = std::thread([this, collect = std::move(collect)] {
        std::optional<CacheWarning> warning = write(collect());
        std::lock_guard lock(m_mutex);
        m_warning = std::move(warning);
    });
}

void CacheWriter::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<CacheWarning> CacheWriter::warning() const
{
    std::lock_guard lock(m_mutex);
    return m_warning;
}

std::optional<CacheWarning> CacheWriter::write(const Records &records) const
{
    const bool pruneDue = !m_target.mark.empty && m_target.mark.prunedDay != m_target.today;
    if (records.count == 0 && !pruneDue)
        return std::nullopt;
    if (!setWritersLock(m_target.lockFd, F_WRLCK))
        return CacheWarning{CacheWarning::Stage::NotUpdated, CacheError(ErrorCode::CacheWriterBusy)};
    int rc = 0;
    for (std::size_t begin = 0; rc == 0 && (begin < records.count || (begin == 0 && pruneDue));
         begin += kChunk) {
        rc = writeChunk(records, begin, begin == 0, pruneDue);
        DropMappedPages(m_target.env);
    }
    KeepSlack(m_target.env, m_target.lockFd);
    setWritersLock(m_target.lockFd, F_UNLCK);
    if (rc != 0)
        return CacheWarning{CacheWarning::Stage::NotUpdated,
                            CacheError(ErrorCode::CacheUnusable, rc, m_target.path)};
    return std::nullopt;
}

int CacheWriter::writeChunk(const Records &records, std::size_t begin, bool first, bool pruneDue) const
{
    const MDB_dbi dbi = m_target.mark.dbi;
    int rc = 0;
    LmdbTxn txn = beginTxn(m_target.env, 0, rc);
    if (!txn)
        return rc;
    if (first)
        rc = pruneDue              ? prune(txn.get())
             : m_target.mark.empty ? putMark(txn.get(), dbi, m_target.mark.prunedDay)
                                   : 0;
    for (std::size_t i = begin; rc == 0 && i < std::min(records.count, begin + kChunk); ++i) {
        const CacheRecord record = records.at(i);
        const CacheKey key = CacheKeyOf(record.state.device, record.state.inode);
        const std::string bytes = EncodeRecord(record);
        MDB_val k = valueOf(key.data(), key.size()), value = valueOf(bytes.data(), bytes.size());
        rc = mdb_put(txn.get(), dbi, &k, &value, 0);
    }
    return rc == 0 ? mdb_txn_commit(txn.release()) : rc;
}

int CacheWriter::prune(MDB_txn *txn) const
{
    int rc = 0;
    if (const LmdbCursor cursor = openCursor(txn, m_target.mark.dbi, rc))
        rc = forEachRecord(cursor.get(), [&](const std::optional<CacheRecord> &record) {
            return !record || record->seenDay + kKeepDays < m_target.today ? mdb_cursor_del(cursor.get(), 0)
                                                                           : 0;
        });
    return rc == MDB_NOTFOUND ? putMark(txn, m_target.mark.dbi, m_target.today) : rc;
}

}  // namespace geminor
