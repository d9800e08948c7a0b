// The metrics server of a build without an HTTP library (the Windows cross builds, where
// Debian has no cpp-httplib): --metrics is refused with the reason, and nothing else changes.

#include "tools/zorvctl/ZorvctlMetricsServer.h"

namespace zorvctl {

struct MetricsServer::Server {};

MetricsServer::MetricsServer() = default;

MetricsServer::~MetricsServer() = default;

bool MetricsServer::Start(const MetricsAddress&, std::string& error) {
  error = "this zorvctl was built without an HTTP server (cpp-httplib); it cannot serve metrics";
  return false;
}

void MetricsServer::Publish(std::string) {}

void MetricsServer::Stop() {}

}  // namespace zorvctl
