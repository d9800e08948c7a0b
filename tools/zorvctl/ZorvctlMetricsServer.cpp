#include "tools/zorvctl/ZorvctlMetricsServer.h"

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace zorvctl {

struct MetricsServer::Server {
  httplib::Server http;
  std::thread thread;
  std::mutex mutex;
  std::string text;
};

MetricsServer::MetricsServer() : server_(std::make_unique<Server>()) {}

MetricsServer::~MetricsServer() {
  Stop();
}

bool MetricsServer::Start(const MetricsAddress& address, std::string& error) {
  Server& server = *server_;
  server.http.Get("/metrics", [&server](const httplib::Request&, httplib::Response& response) {
    const std::lock_guard lock(server.mutex);
    response.set_content(server.text, kOpenMetricsContentType);
  });
  // The library's own options would let a second server share a port that is taken, and the
  // requests would go to either; a taken port must be refused. The address stays free to bind
  // again at once after a run.
  server.http.set_socket_options([](socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  });
  if (!server.http.bind_to_port(address.host, address.port)) {
    error = "cannot serve the metrics on " + address.host + ":" + std::to_string(address.port) +
            " (the address is not this machine's, or the port is taken)";
    return false;
  }
  server.thread = std::thread([&server] { server.http.listen_after_bind(); });
  // A stop before the thread listens would be lost, and the join would wait for ever.
  while (!server.http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void MetricsServer::Publish(std::string text) {
  const std::lock_guard lock(server_->mutex);
  server_->text = std::move(text);
}

void MetricsServer::Stop() {
  if (!server_->thread.joinable()) return;
  server_->http.stop();
  server_->thread.join();
}

}  // namespace zorvctl
