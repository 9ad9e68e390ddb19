#include "engine/similar_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <tuple>

#include "engine/checksum_cache.h"
#include "engine/file_reader.h"
#include "engine/file_system.h"
#include "engine/picture_groups.h"

namespace geminor {
namespace {

enum class Kind : std::uint8_t { NotLooked, Picture, NotPicture, Unreadable };

struct Looked
{
    PictureLook look;
    Kind kind = Kind::NotLooked;
};

constexpr std::size_t kHeadBytes = 64;
constexpr std::size_t kFilesPerTask = 4;  // a picture takes milliseconds: small tasks share well

/// What one file is: a picture and its look (from the cache when it knows the file unchanged),
/// no picture, or a file that could not be read or decoded.
Looked lookAt(const FileRecord &record, const PictureDecoder &decoder, const SearchState &state,
              ChecksumCache *cache)
{
    if (cache)
        if (const auto known = cache->lookup(record.id); known && known->picture)
            return {*known->picture, Kind::Picture};
    FileReader reader(record.folder + record.name);
    std::array<std::byte, kHeadBytes> head{};
    const std::int64_t got = reader.isOpen() ? reader.readAt(0, head) : -1;
    if (got < 0)
        return {{}, Kind::Unreadable};
    if (!decoder.isPicture(std::span<const std::byte>(head.data(), static_cast<std::size_t>(got))))
        return {{}, Kind::NotPicture};
    const UniqueFd fd = reader.release();
    const Result<PictureLook> look = decoder.look(fd.get());
    if (!look)
        return {{}, look.error().code == ErrorCode::NotAPicture ? Kind::NotPicture : Kind::Unreadable};
    // Kept only for the file the walk saw: the cache's record is of that state.
    struct stat st = {};
    if (cache && Fs().fstat(fd.get(), &st) == 0 && IdentityOf(st) == state.identityOf(record)) {
        Digests digests;
        digests.picture = *look;
        cache->store(record.id, digests);
    }
    return {*look, Kind::Picture};
}

/// Looks at every record on all cores while the caller's thread reports the progress.
class ParallelLooks
{
public:
    ParallelLooks(const std::vector<FileRecord> &records, const PictureDecoder &decoder, SearchState &state,
                  ChecksumCache *cache)
        : m_records(records), m_decoder(decoder), m_state(state), m_cache(cache), m_looked(records.size())
    {
    }

    std::vector<Looked> run()
    {
        std::uint64_t bytesTotal = 0;
        for (const FileRecord &r : m_records)
            bytesTotal += r.size;
        const auto started = std::chrono::steady_clock::now();
        const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 16);
        m_working = threads;
        {
            std::vector<std::jthread> workers;
            for (std::size_t t = 0; t < threads; ++t)
                workers.emplace_back([this] { work(); });
            std::unique_lock lock(m_mutex);
            while (!m_ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return m_working == 0; })) {
                lock.unlock();
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                m_state.showBytesProgress(SearchKind::Pictures, static_cast<std::int64_t>(m_done.load()),
                                          static_cast<std::int64_t>(m_records.size()),
                                          m_state.bytesCompared.load(std::memory_order_relaxed), bytesTotal,
                                          seconds);
                lock.lock();
            }
        }  // joins
        if (m_error)
            std::rethrow_exception(m_error);  // out of memory, say: the scan fails whole
        return std::move(m_looked);
    }

private:
    void work()
    {
        try {
            for (std::size_t begin = m_next.fetch_add(kFilesPerTask); begin < m_records.size();
                 begin = m_next.fetch_add(kFilesPerTask)) {
                for (std::size_t i = begin; i < std::min(begin + kFilesPerTask, m_records.size()); ++i) {
                    if (m_state.cancelled() || m_stop)
                        break;
                    m_looked[i] = lookAt(m_records[i], m_decoder, m_state, m_cache);
                    m_state.bytesCompared.fetch_add(m_records[i].size, std::memory_order_relaxed);
                    ++m_done;
                }
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_error)
                m_error = std::current_exception();
            m_stop = true;
        }
        std::lock_guard lock(m_mutex);
        --m_working;
        m_ended.notify_all();
    }

    const std::vector<FileRecord> &m_records;
    const PictureDecoder &m_decoder;
    SearchState &m_state;
    ChecksumCache *m_cache;
    std::vector<Looked> m_looked;  // each written by the worker that took it
    std::atomic<std::size_t> m_next{0}, m_done{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::size_t m_working = 0;   // under m_mutex
    std::exception_ptr m_error;  // the first failure of a worker, under m_mutex
};

/// Larger pictures lead: more pixels, then more bytes, then the path.
bool leadsBefore(const FileRecord &a, const PictureLook &la, const FileRecord &b, const PictureLook &lb)
{
    const std::uint64_t pixelsA = std::uint64_t{la.width} * la.height,
                        pixelsB = std::uint64_t{lb.width} * lb.height;
    if (pixelsA != pixelsB)
        return pixelsA > pixelsB;
    if (a.size != b.size)
        return a.size > b.size;
    return a.folder + a.name < b.folder + b.name;
}

}  // namespace

std::int64_t SearchSimilarPictures(std::vector<FileRecord> records, Similarity level,
                                   const PictureDecoder &decoder, SearchState &state, ChecksumCache *cache)
{
    const std::vector<Looked> looked = ParallelLooks(records, decoder, state, cache).run();
    std::int64_t notPictures = 0;
    std::vector<std::uint32_t> pictures;
    for (std::uint32_t i = 0; i < looked.size(); ++i) {
        switch (looked[i].kind) {
        case Kind::Picture: pictures.push_back(i); break;
        case Kind::NotPicture: ++notPictures; break;
        case Kind::Unreadable: ++state.unreadableFiles; break;
        case Kind::NotLooked: break;  // cancelled first
        }
    }
    std::sort(pictures.begin(), pictures.end(), [&](std::uint32_t a, std::uint32_t b) {
        return leadsBefore(records[a], looked[a].look, records[b], looked[b].look);
    });
    std::vector<std::uint64_t> hashes;
    hashes.reserve(pictures.size());
    for (std::uint32_t i : pictures)
        hashes.push_back(looked[i].look.hash);
    for (const std::vector<PictureMember> &group : GroupPictures(hashes, SimilarityThreshold(level))) {
        const std::int32_t number = state.startGroup();
        for (const PictureMember &member : group) {
            FileRecord &r = records[pictures[member.index]];
            const PictureLook &look = looked[pictures[member.index]].look;
            ResultEntry entry{state.identityOf(r), std::move(r.name), std::move(r.folder), "N/A", number};
            entry.distance = member.distance;
            entry.width = look.width;
            entry.height = look.height;
            state.DuplicateRecords.push_back(std::move(entry));
        }
        state.DuplicateCount += static_cast<std::int32_t>(group.size() - 1);
    }
    return notPictures;
}

}  // namespace geminor
