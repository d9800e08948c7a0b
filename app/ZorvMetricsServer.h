#pragma once
// The cards' link metrics served read-only over HTTP (GET /metrics, OpenMetrics text), so that a
// station's monitoring scrapes every receiving PC. Nothing served changes anything.

#include <QHttpServer>
#include <functional>
#include <memory>
#include <string>

class ZorvMetricsServer {
 public:
  // `metrics` makes the text of the moment; it runs on the user-interface thread.
  explicit ZorvMetricsServer(std::function<std::string()> metrics);

  // "ADDRESS:PORT", or "PORT" for 127.0.0.1. False with a reason when it cannot listen there.
  bool Listen(const std::string& address_and_port, std::string& error);
  quint16 Port() const { return port_; }

 private:
  std::function<std::string()> metrics_;
  QHttpServer server_;
  quint16 port_ = 0;
};
