#pragma once
// The HTTP face of the service (cpp-httplib): POST /convert, GET /health,
// /version and /metrics, a log line per conversion request on stderr and
// errors as JSON {"error": "...", "status": N}. Every upload and its PDFs
// live in a private folder of their own below the work folder, removed
// before the answer goes out; nothing of a request is written elsewhere.
//
// Threads: Bind, Run and the destructor on the owner's thread; Run blocks
// and serves on the library's worker threads; Stop and Running from any
// thread.

#include <QString>

#include <memory>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class TkvConverterPool;
class TkvServeMetrics;

struct TkvServiceConfig {
  int maxUploadMb = 100;
  int maxQueue = 2;
  int maxTimeout = 0;  // seconds a request's timeout may ask for, 0 for no bound
  QString workFolder;  // private, for the requests' folders
  QString title, version;
};

class TkvHttpService {
 public:
  // `pool` is not owned and must outlive the service.
  TkvHttpService(TkvConverterPool& pool, TkvServiceConfig config);
  ~TkvHttpService();
  TkvHttpService(const TkvHttpService&) = delete;
  TkvHttpService& operator=(const TkvHttpService&) = delete;

  // Binds the listening socket; port 0 takes a free one. Returns the port,
  // or -1 when the address cannot be bound.
  int Bind(const QString& host, int port);
  // Serves until Stop; returns once every request in hand is answered.
  void Run();
  // Stops accepting connections; Run then finishes the requests in hand.
  void Stop();
  bool Running() const;

 private:
  void Convert(const httplib::Request& request, httplib::Response& response);
  void Health(httplib::Response& response);
  // JSON error body, log line and metrics of a conversion request.
  void Refuse(httplib::Response& response, int status, const QString& outcome, const QString& name,
              const QString& message);
  void Log(const QString& name, int status, const QString& outcome, double seconds,
           int pages) const;

  TkvConverterPool& pool_;
  TkvServiceConfig config_;
  std::unique_ptr<TkvServeMetrics> metrics_;
  std::unique_ptr<httplib::Server> server_;
};
