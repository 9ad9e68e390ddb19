#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <xxhash.h>

#include "engine/file_identity.h"
#include "engine/picture_decoder.h"

namespace geminor {

/// What is known of a file's bytes.
struct Digests
{
    std::optional<std::uint32_t> crc;    // CRC-32 of the whole content
    std::optional<XXH128_hash_t> whole;  // the content digest of the whole file (see IdenticalGroups)
    std::optional<XXH128_hash_t> first;  // the same of its first block
    std::optional<PictureLook> picture;  // how it looks, when it is a picture
};

/// One file's record: its state, what is known of its bytes and the day it was last seen.
struct CacheRecord
{
    FileIdentity state;  // used only while all of it is the file's
    std::uint64_t fileSystem =
        0;  // which file system the file was on (see ChecksumCache); 0 in older records
    Digests digests;
    std::uint16_t seenDay = 0;  // days since 1970
};

/// The key of a file: device then inode, big-endian, so that a folder's files lie close together.
using CacheKey = std::array<unsigned char, 16>;
CacheKey CacheKeyOf(std::uint64_t device, std::uint64_t inode);

/// A record as stored (about 48 bytes for a small file): the state (size and change time as
/// varints), the file system's identity, the digests present, and a check over key and value,
/// so that a torn or damaged record is never taken for a file's.
std::string EncodeRecord(const CacheRecord &record);
/// The record stored under `key` as `value`; nothing when it is damaged. A record of the earlier
/// format (without the file system) decodes with `fileSystem` 0, which no file system has.
std::optional<CacheRecord> DecodeRecord(const CacheKey &key, std::string_view value);

}  // namespace geminor
