#include "core/shard.h"

#include <QByteArray>

#include <optional>

namespace {

// A count or index: decimal digits only, at most nine of them.
std::optional<std::uint32_t> ReadNumber(const QString& text) {
  if (text.isEmpty() || text.size() > 9) return std::nullopt;
  std::uint32_t value = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
  }
  return value;
}

// Checks K and N; `shown` is how the value is named in an error.
QString MakeShard(const QString& indexText, const QString& countText, const QString& shown,
                  TkvShard& shard) {
  const std::optional<std::uint32_t> index = ReadNumber(indexText);
  const std::optional<std::uint32_t> count = ReadNumber(countText);
  if (!index || !count)
    return QStringLiteral(
               "Invalid shard %1: K and N must be whole numbers (K/N with 0 <= K < N, or auto)")
        .arg(shown);
  if (*count < 1) return QStringLiteral("Invalid shard %1: N must be at least 1").arg(shown);
  if (*index >= *count)
    return QStringLiteral("Invalid shard %1: K must be less than N (K counts from 0)").arg(shown);
  shard = TkvShard{*index, *count};
  return QString();
}

QString Quoted(const QString& text) { return u'"' + text + u'"'; }

QString FromEnvironment(TkvShard& shard, const TkvEnvironmentLookup& environment) {
  const QString slurmId = environment("SLURM_ARRAY_TASK_ID");
  if (!slurmId.isNull()) {
    const QString slurmCount = environment("SLURM_ARRAY_TASK_COUNT");
    if (slurmCount.isNull())
      return QStringLiteral(
          "Shard auto: SLURM_ARRAY_TASK_ID is set but SLURM_ARRAY_TASK_COUNT is not");
    const QString shown = QStringLiteral("auto (SLURM_ARRAY_TASK_ID=%1, SLURM_ARRAY_TASK_COUNT=%2)")
                              .arg(Quoted(slurmId), Quoted(slurmCount));
    QString error = MakeShard(slurmId.trimmed(), slurmCount.trimmed(), shown, shard);
    if (!error.isEmpty())
      error += QStringLiteral("; the job array must be zero-based: --array=0-(N-1)");
    return error;
  }
  const QString jobIndex = environment("JOB_COMPLETION_INDEX");
  if (!jobIndex.isNull()) {
    const QString jobCount = environment("TABRIX_SHARDS");
    if (jobCount.isNull())
      return QStringLiteral(
          "Shard auto: JOB_COMPLETION_INDEX is set but TABRIX_SHARDS (the job's completions) is "
          "not");
    const QString shown = QStringLiteral("auto (JOB_COMPLETION_INDEX=%1, TABRIX_SHARDS=%2)")
                              .arg(Quoted(jobIndex), Quoted(jobCount));
    return MakeShard(jobIndex.trimmed(), jobCount.trimmed(), shown, shard);
  }
  return QStringLiteral(
      "Shard auto: neither SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT (a Slurm job array) nor "
      "JOB_COMPLETION_INDEX and TABRIX_SHARDS (a Kubernetes Indexed Job) are set");
}

}  // namespace

std::uint64_t TkvShardHash(QByteArrayView bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

bool TkvShard::Holds(const QString& relativePath) const {
  if (Count <= 1) return true;
  return TkvShardHash(relativePath.toUtf8()) % Count == Index;
}

QString TkvProcessEnvironment(const char* name) {
  if (!qEnvironmentVariableIsSet(name)) return QString();
  const QString value = qEnvironmentVariable(name);
  return value.isNull() ? QStringLiteral("") : value;
}

QString TkvParseShard(const QString& text, TkvShard& shard,
                      const TkvEnvironmentLookup& environment) {
  const QString value = text.trimmed();
  if (value.isEmpty()) {
    shard = TkvShard{};
    return QString();
  }
  if (value.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
    return FromEnvironment(shard, environment);
  const qsizetype slash = value.indexOf(u'/');
  if (slash < 0)
    return QStringLiteral("Invalid shard %1: expected K/N (0 <= K < N) or auto").arg(Quoted(text));
  return MakeShard(value.left(slash).trimmed(), value.mid(slash + 1).trimmed(), Quoted(text),
                   shard);
}
