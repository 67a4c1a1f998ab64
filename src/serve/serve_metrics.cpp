#include "serve/serve_metrics.h"

void TkvServeMetrics::Count(const QString& outcome, double seconds, int pages) {
  std::lock_guard<std::mutex> lock(lock_);
  ++requests_[outcome];
  pages_ += pages;
  if (seconds <= 0) return;
  ++conversions_;
  secondsSum_ += seconds;
  for (std::size_t i = 0; i < kBuckets.size(); ++i)
    if (seconds <= kBuckets.at(i)) ++buckets_.at(i);
}

QByteArray TkvServeMetrics::Text(const Gauges& gauges) const {
  std::lock_guard<std::mutex> lock(lock_);
  QString text;
  text += QStringLiteral(
      "# HELP tabrix_requests_total Conversion requests answered, by outcome.\n"
      "# TYPE tabrix_requests_total counter\n");
  for (const auto& [outcome, count] : requests_)
    text += QStringLiteral("tabrix_requests_total{outcome=\"%1\"} %2\n").arg(outcome).arg(count);
  text += QStringLiteral(
      "# HELP tabrix_conversion_seconds Time of each conversion, the wait for a converter "
      "excluded.\n"
      "# TYPE tabrix_conversion_seconds histogram\n");
  for (std::size_t i = 0; i < kBuckets.size(); ++i)
    text += QStringLiteral("tabrix_conversion_seconds_bucket{le=\"%1\"} %2\n")
                .arg(kBuckets.at(i))
                .arg(buckets_.at(i));
  text += QStringLiteral("tabrix_conversion_seconds_bucket{le=\"+Inf\"} %1\n").arg(conversions_);
  text += QStringLiteral("tabrix_conversion_seconds_sum %1\n").arg(secondsSum_, 0, 'f', 6);
  text += QStringLiteral("tabrix_conversion_seconds_count %1\n").arg(conversions_);
  text += QStringLiteral(
              "# HELP tabrix_pages_total PDF pages written.\n"
              "# TYPE tabrix_pages_total counter\n"
              "tabrix_pages_total %1\n"
              "# HELP tabrix_queue_length Requests waiting for a converter.\n"
              "# TYPE tabrix_queue_length gauge\n"
              "tabrix_queue_length %2\n"
              "# HELP tabrix_converters Converter threads, one office process each.\n"
              "# TYPE tabrix_converters gauge\n"
              "tabrix_converters %3\n"
              "# HELP tabrix_converters_busy Converters with a request in hand.\n"
              "# TYPE tabrix_converters_busy gauge\n"
              "tabrix_converters_busy %5\n"
              "# HELP tabrix_office_restarts_total Office starts beyond each converter's first.\n"
              "# TYPE tabrix_office_restarts_total counter\n"
              "tabrix_office_restarts_total %4\n")
              .arg(pages_)
              .arg(gauges.queue)
              .arg(gauges.converters)
              .arg(gauges.officeRestarts)
              .arg(gauges.busy);
  return text.toUtf8();
}
