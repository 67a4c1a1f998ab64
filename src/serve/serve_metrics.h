#pragma once
// The service's counters in the Prometheus text format (version 0.0.4):
// requests by outcome, conversion seconds as a histogram, pages written, and
// the gauges handed in when the text is made. Thread-safe.

#include <QByteArray>
#include <QString>

#include <array>
#include <map>
#include <mutex>

class TkvServeMetrics {
 public:
  // One answered conversion request; `seconds` and `pages` count only for a
  // conversion that ran (seconds > 0).
  void Count(const QString& outcome, double seconds, int pages);

  struct Gauges {
    int queue = 0;           // requests waiting for a converter
    int converters = 0;      // converter threads
    int busy = 0;            // converters with a request in hand
    int officeRestarts = 0;  // office starts beyond each converter's first
  };
  QByteArray Text(const Gauges& gauges) const;

 private:
  static constexpr std::array<double, 10> kBuckets = {0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 120};
  mutable std::mutex lock_;
  std::map<QString, long long> requests_;
  std::array<long long, kBuckets.size()> buckets_{};
  long long conversions_ = 0;
  double secondsSum_ = 0;
  long long pages_ = 0;
};
