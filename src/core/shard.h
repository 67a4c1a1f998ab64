#pragma once
// Shards of one run: N runs over one source tree, each converting the items
// whose relative path hashes (mod N) to its own index K. The hash is fixed
// (FNV-1a, 64-bit, over the UTF-8 bytes with "/" separators), so every
// machine puts an item in the same shard whatever the order of the listing.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>

// FNV-1a, 64-bit, of `bytes`: unseeded and the same on every machine.
std::uint64_t TkvShardHash(QByteArrayView bytes);

// Shard K of N. The default (0 of 1) holds every item.
struct TkvShard {
  std::uint32_t Index = 0;
  std::uint32_t Count = 1;

  // Whether the item at `relativePath` (relative to the source folder, "/"
  // separated) belongs to this shard.
  bool Holds(const QString& relativePath) const;
  bool operator==(const TkvShard&) const = default;
};

// Reads an environment variable by name; an unset variable gives a null
// QString (an empty one when set to "").
using TkvEnvironmentLookup = std::function<QString(const char* name)>;
// The process environment.
QString TkvProcessEnvironment(const char* name);

// Parses a shard text: "" (no sharding, 0 of 1), "K/N" with 0 <= K < N, or
// "auto", which takes K and N from SLURM_ARRAY_TASK_ID and
// SLURM_ARRAY_TASK_COUNT (a zero-based Slurm job array), or else from
// JOB_COMPLETION_INDEX and TABRIX_SHARDS (a Kubernetes Indexed Job).
// Returns an empty text and sets `shard`, or returns an error message naming
// the bad value (then `shard` is unchanged).
QString TkvParseShard(const QString& text, TkvShard& shard,
                      const TkvEnvironmentLookup& environment = TkvProcessEnvironment);
