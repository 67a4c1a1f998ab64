// The shard hash and the shard texts: fixed values, the two schedulers'
// variables and every kind of bad value.
#include "core/shard.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// An environment holding exactly the given variables.
TkvEnvironmentLookup Env(std::map<std::string, QString> vars) {
  return [vars = std::move(vars)](const char* name) {
    const auto it = vars.find(name);
    return it == vars.end() ? QString() : it->second;
  };
}

const TkvEnvironmentLookup kNoEnv = Env({});

// Parses `text`; returns the error ("" on success).
QString Parse(const QString& text, TkvShard& shard, const TkvEnvironmentLookup& env = kNoEnv) {
  return TkvParseShard(text, shard, env);
}

}  // namespace

TEST(ShardHash, IsFnv1a64OverUtf8Bytes) {
  // Published FNV-1a 64-bit values, and two paths whose values other
  // machines must reproduce.
  EXPECT_EQ(TkvShardHash(""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(TkvShardHash("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(TkvShardHash("foobar"), 0x85944171f73967e8ULL);
  EXPECT_EQ(TkvShardHash("a/b.xls"), 0x8bc3cf381470e44eULL);
  EXPECT_EQ(TkvShardHash(QStringLiteral("sub/Über 1.xlsx").toUtf8()), 0xbe54cefb5646047eULL);

  const TkvShard third{2, 4};
  EXPECT_TRUE(third.Holds(QStringLiteral("sub/Über 1.xlsx")));
  EXPECT_TRUE(third.Holds(QStringLiteral("a/b.xls")));
  EXPECT_FALSE(third.Holds(QStringLiteral("a")));
  EXPECT_TRUE(TkvShard{}.Holds(QStringLiteral("a")));  // no sharding holds all
}

TEST(ShardText, EmptyAndExplicitValues) {
  TkvShard shard{7, 9};
  EXPECT_EQ(Parse("", shard), QString());
  EXPECT_EQ(shard, TkvShard{});
  EXPECT_EQ(Parse(" 3/8 ", shard), QString());
  EXPECT_EQ(shard, (TkvShard{3, 8}));
  EXPECT_EQ(Parse("0/1", shard), QString());
  EXPECT_EQ(shard, (TkvShard{0, 1}));
  EXPECT_EQ(Parse("099/100", shard), QString());
  EXPECT_EQ(shard, (TkvShard{99, 100}));
}

TEST(ShardText, BadValuesAreNamedAndChangeNothing) {
  for (const char* bad :
       {"4/4", "5/4", "0/0", "1/0", "x", "3", "a/4", "1/b", "-1/4", "1/-4", "+1/4", "1.5/4",
        "1/4/4", "/4", "1/", "1 2/4", "9999999999/99999999999", "autox"}) {
    TkvShard shard{1, 3};
    const QString error = Parse(QString::fromLatin1(bad), shard);
    EXPECT_FALSE(error.isEmpty()) << bad;
    EXPECT_TRUE(error.contains(QStringLiteral("\"%1\"").arg(QString::fromLatin1(bad))))
        << error.toStdString();
    EXPECT_EQ(shard, (TkvShard{1, 3})) << bad;
  }
  TkvShard shard;
  EXPECT_TRUE(Parse("4/4", shard).contains(QStringLiteral("K must be less than N")));
  EXPECT_TRUE(Parse("0/0", shard).contains(QStringLiteral("N must be at least 1")));
}

TEST(ShardText, AutoReadsSlurmThenKubernetes) {
  TkvShard shard;
  EXPECT_EQ(
      Parse("auto", shard, Env({{"SLURM_ARRAY_TASK_ID", "2"}, {"SLURM_ARRAY_TASK_COUNT", "4"}})),
      QString());
  EXPECT_EQ(shard, (TkvShard{2, 4}));
  EXPECT_EQ(Parse("AUTO", shard, Env({{"JOB_COMPLETION_INDEX", "5"}, {"TABRIX_SHARDS", "16"}})),
            QString());
  EXPECT_EQ(shard, (TkvShard{5, 16}));
  // A Slurm array task inside a pod: the array's variables win.
  EXPECT_EQ(Parse("auto", shard,
                  Env({{"SLURM_ARRAY_TASK_ID", "0"},
                       {"SLURM_ARRAY_TASK_COUNT", "2"},
                       {"JOB_COMPLETION_INDEX", "5"},
                       {"TABRIX_SHARDS", "16"}})),
            QString());
  EXPECT_EQ(shard, (TkvShard{0, 2}));
}

TEST(ShardText, AutoErrorsNameTheVariables) {
  TkvShard shard{1, 2};
  const QString none = Parse("auto", shard);
  EXPECT_TRUE(none.contains(QStringLiteral("SLURM_ARRAY_TASK_ID"))) << none.toStdString();
  EXPECT_TRUE(none.contains(QStringLiteral("JOB_COMPLETION_INDEX"))) << none.toStdString();

  // An array numbered from 1 (--array=1-4) gives task 4 of 4.
  const QString oneBased =
      Parse("auto", shard, Env({{"SLURM_ARRAY_TASK_ID", "4"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}));
  EXPECT_TRUE(oneBased.contains(QStringLiteral("SLURM_ARRAY_TASK_ID=\"4\"")))
      << oneBased.toStdString();
  EXPECT_TRUE(oneBased.contains(QStringLiteral("--array=0-"))) << oneBased.toStdString();

  EXPECT_TRUE(Parse("auto", shard, Env({{"SLURM_ARRAY_TASK_ID", "1"}}))
                  .contains(QStringLiteral("SLURM_ARRAY_TASK_COUNT")));
  EXPECT_TRUE(Parse("auto", shard, Env({{"JOB_COMPLETION_INDEX", "1"}}))
                  .contains(QStringLiteral("TABRIX_SHARDS")));
  const QString bad =
      Parse("auto", shard, Env({{"JOB_COMPLETION_INDEX", "1"}, {"TABRIX_SHARDS", "many"}}));
  EXPECT_TRUE(bad.contains(QStringLiteral("TABRIX_SHARDS=\"many\""))) << bad.toStdString();
  EXPECT_EQ(shard, (TkvShard{1, 2}));
}
