// demo-shop: a stand-in for the web shop's order endpoint on 127.0.0.1, for the demo. It takes
// the order that the browser posts from the order page, prints its fields in the order they
// arrived, answers with a short confirmation page, and ends after the first order or a time-out.
#include <httplib.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/CodePage.h"

namespace {

// "a=1&b=%22x%22" in field order; '+' is a blank. Bytes are the page's (Windows-1252).
std::vector<std::pair<std::string, std::string>> DecodeForm(std::string_view body) {
  const auto decode = [](std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '+') {
        out += ' ';
      } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(uint8_t(text[i + 1])) &&
                 std::isxdigit(uint8_t(text[i + 2]))) {
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        out += text[i];
      }
    }
    return out;
  };
  std::vector<std::pair<std::string, std::string>> fields;
  while (!body.empty()) {
    const auto amp = body.find('&');
    const std::string_view pair = body.substr(0, amp);
    const auto eq = pair.find('=');
    fields.emplace_back(decode(pair.substr(0, eq)),
                        eq == std::string_view::npos ? "" : decode(pair.substr(eq + 1)));
    if (amp == std::string_view::npos) break;
    body.remove_prefix(amp + 1);
  }
  return fields;
}

int Usage() {
  std::cerr << "usage: demo-shop [--timeout SECONDS] [--port-file FILE]\n"
               "Listens on 127.0.0.1 (a free port), prints \"LISTENING <port>\", takes one\n"
               "POST /bestelling, prints its fields and ends.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int timeoutSeconds = 120;
  std::string portFile;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--timeout" && i + 1 < argc) {
      timeoutSeconds = std::atoi(argv[++i]);
    } else if (arg == "--port-file" && i + 1 < argc) {
      portFile = argv[++i];
    } else {
      return Usage();
    }
  }

  httplib::Server server;
  bool received = false;
  server.Post("/bestelling", [&](const httplib::Request& request, httplib::Response& response) {
    std::cout << "ORDER RECEIVED (" << request.get_header_value("Content-Type") << ")\n";
    for (const auto& [name, value] : DecodeForm(request.body)) {
      std::cout << "  " << name << " = \"" << kessmar::Cp1252ToUtf8(value) << "\"\n";
    }
    std::cout.flush();
    response.set_content(
        "<html><body><h1>Bestelling ontvangen</h1><p>Demo-winkel op 127.0.0.1</p></body></html>",
        "text/html");
    received = true;
    server.stop();
  });

  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::cerr << "demo-shop: cannot listen on 127.0.0.1\n";
    return 1;
  }
  std::cout << "LISTENING " << port << std::endl;
  if (!portFile.empty()) std::ofstream(portFile) << port << "\n";

  std::thread watchdog([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (!received && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.stop();
  });
  server.listen_after_bind();
  watchdog.join();
  if (!received) {
    std::cerr << "demo-shop: no order arrived within " << timeoutSeconds << " s\n";
    return 1;
  }
  return 0;
}
