#include "app/ZorvMetricsServer.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponse>

namespace {

constexpr const char* kContentType = "application/openmetrics-text; version=1.0.0; charset=utf-8";

}  // namespace

ZorvMetricsServer::ZorvMetricsServer(std::function<std::string()> metrics)
    : metrics_(std::move(metrics)) {
  server_.route("/metrics", QHttpServerRequest::Method::Get, [this] {
    return QHttpServerResponse(kContentType, QByteArray::fromStdString(metrics_()));
  });
}

bool ZorvMetricsServer::Listen(const std::string& address_and_port, std::string& error) {
  const size_t colon = address_and_port.rfind(':');
  const std::string address =
      colon == std::string::npos ? "127.0.0.1" : address_and_port.substr(0, colon);
  const std::string port_text =
      colon == std::string::npos ? address_and_port : address_and_port.substr(colon + 1);
  bool port_ok = false;
  const uint port = QString::fromStdString(port_text).toUInt(&port_ok);
  const QHostAddress host(QString::fromStdString(address));
  if (!port_ok || port == 0 || port > 65535 || host.isNull()) {
    error = "--metrics takes ADDRESS:PORT or PORT, not \"" + address_and_port + "\"";
    return false;
  }
  port_ = server_.listen(host, static_cast<quint16>(port));
  if (port_ == 0) {
    error = "cannot serve the metrics on " + address + ":" + port_text;
    return false;
  }
  return true;
}
