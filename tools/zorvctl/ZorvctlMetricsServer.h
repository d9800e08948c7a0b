#pragma once
// The monitor's metrics over HTTP for a station's monitoring: GET /metrics answers the latest
// text published, and nothing else is served, so that no request can change a card. The
// server runs on a thread of its own; the text is handed over under a lock.

#include <memory>
#include <string>

#include "tools/zorvctl/ZorvctlArguments.h"

namespace zorvctl {

class MetricsServer {
 public:
  MetricsServer();
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Binds and starts serving; false with the reason when the address cannot be bound (or this
  // build of zorvctl has no HTTP server).
  bool Start(const MetricsAddress& address, std::string& error);
  // The text the next request gets.
  void Publish(std::string text);
  void Stop();

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

// The media type of the OpenMetrics text format.
inline constexpr const char* kOpenMetricsContentType =
    "application/openmetrics-text; version=1.0.0; charset=utf-8";

}  // namespace zorvctl
