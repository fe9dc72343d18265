// backoffice-server: sets up and runs the back office's PostgreSQL server for the demo, the
// tests and a real site, and answers the scanner tool's server discovery.
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "backoffice-server/Cluster.h"
#include "backoffice-server/Commands.h"
#include "dbclient/DatabaseError.h"
#include "platform/net/Ipv4Address.h"

namespace {

using namespace kessmar::backoffice_server;

constexpr const char* kHelp = R"(Usage: backoffice-server COMMAND [options]

Sets up and runs the Vemo back-office database (PostgreSQL 15) and answers the scanner tool's
server discovery. A cluster lives in a folder DIR of its own; as root, initdb, pg_ctl and the
server run under the 'postgres' account (through runuser), which then owns DIR (its parent
folders must be searchable). A system cluster is never used or touched.

Commands:
  setup DIR [start options] [--database NAME] [--demo] [--articles N] [--no-sync]
        init + start + schema in one go (the demo: setup DIR --demo --fast --announce)
  init DIR [--superuser NAME] [--trust CIDR]... [--no-trust] [--no-sync]
        create a cluster in DIR (initdb). The superuser is the account running this command.
        Connections through the socket and from the --trust networks (default 127.0.0.0/8)
        need no password; all others need one (scram-sha-256).
  start DIR [--name NAME] [--listen ADDR] [--port N] [--fast] [--announce] [--discovery-port N]
        start the server, listening on ADDR (default 127.0.0.1; "" = socket only; "*" = all)
        and port N (default $PGPORT, else 5432), and register it as NAME (default VEMOPRO)
        for single-user clients on this machine. --fast turns fsync off (tests and demos
        only). --announce also starts the discovery responder for NAME@ADDR.
  stop DIR [--immediate]
        stop the server, its responder and its registration
  status DIR
        show whether the server runs, and its name, address, port and socket
  schema [DIR] [--database NAME] [--demo] [--articles N]
        create the database (default $PGDATABASE, else vemo) when missing, and in it the
        schemas DATA, SYSTEM and VEMOPRO2FFDATABASE with every table and index; --demo also
        loads the demo catalogue with N generated articles (default 200). Without DIR it
        works on an existing server found through libpq's environment (PGHOST, PGPORT,
        PGUSER, ~/.pgpass).
  demo [DIR] [--database NAME] [--articles N]
        load the demo catalogue into an existing schema
  announce --address ADDR [--name NAME] [--discovery-port N] [--pid-file FILE]
        answer discovery requests with NAME@ADDR (default name VEMOPRO) until stopped; works
        beside any PostgreSQL server. The port is N, else $KESSMAR_DISCOVERY_PORT, else 28712.

Clients connect to NAME@ADDR through libpq: port, user, password and TLS come from PGPORT,
PGUSER, ~/.pgpass, PGSSLMODE. The single-user registry folder is $KESSMAR_SERVER_REGISTRY,
else $XDG_RUNTIME_DIR/kessmar/backoffice-servers.
)";

[[noreturn]] void Usage(const std::string& why) {
  throw std::invalid_argument(why + " (see backoffice-server --help)");
}

struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for flags)
};

// Options that take a value; every other "--x" is a flag.
bool TakesValue(const std::string& name) {
  static const char* kWithValue[] = {"--superuser", "--trust",          "--name",     "--listen",
                                     "--port",      "--discovery-port", "--database", "--articles",
                                     "--address",   "--pid-file"};
  for (const char* option : kWithValue) {
    if (name == option) return true;
  }
  return false;
}

Arguments Parse(int argc, char** argv, int first) {
  Arguments args;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      args.positional.push_back(arg);
      continue;
    }
    if (TakesValue(arg)) {
      if (i + 1 >= argc) Usage(arg + " needs a value");
      args.options.emplace_back(arg, argv[++i]);
    } else {
      args.options.emplace_back(arg, "");
    }
  }
  return args;
}

uint16_t PortOf(const std::string& text, const std::string& option) {
  unsigned port = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error != std::errc() || end != text.data() + text.size() || port == 0 || port > 65535) {
    Usage(option + " " + text + " is not a port number");
  }
  return static_cast<uint16_t>(port);
}

int NumberOf(const std::string& text, const std::string& option) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) {
    Usage(option + " " + text + " is not a count");
  }
  return value;
}

std::string Folder(const Arguments& args, const std::string& command) {
  if (args.positional.size() != 1) Usage(command + " needs one folder DIR");
  return args.positional[0];
}

// Applies the options a command accepts; anything else is an error.
struct Settings {
  InitOptions init;
  StartOptions start;
  SchemaOptions schema;
  AnnounceOptions announce;
  bool immediate = false;
  bool announceWithStart = false;
};

Settings Apply(const Arguments& args, const std::vector<std::string>& allowed,
               const std::string& command) {
  Settings s;
  if (const char* port = std::getenv("PGPORT"); port != nullptr && *port) {
    s.start.port = PortOf(port, "PGPORT");
  }
  bool trustGiven = false;
  for (const auto& [name, value] : args.options) {
    bool ok = false;
    for (const auto& a : allowed) ok = ok || a == name;
    if (!ok) Usage(command + " takes no option " + name);
    if (name == "--superuser") {
      s.init.superuser = value;
    } else if (name == "--trust") {
      if (!trustGiven) s.init.trustedNets.clear();
      trustGiven = true;
      s.init.trustedNets.push_back(value);
    } else if (name == "--no-trust") {
      trustGiven = true;
      s.init.trustedNets.clear();
    } else if (name == "--no-sync") {
      s.init.noSync = true;
    } else if (name == "--name") {
      s.start.name = value;
      s.announce.name = value;
    } else if (name == "--listen") {
      s.start.listen = value;
    } else if (name == "--port") {
      s.start.port = PortOf(value, name);
    } else if (name == "--fast") {
      s.start.fast = true;
    } else if (name == "--announce") {
      s.announceWithStart = true;
    } else if (name == "--discovery-port") {
      s.start.discoveryPort = PortOf(value, name);
      s.announce.port = s.start.discoveryPort;
    } else if (name == "--immediate") {
      s.immediate = true;
    } else if (name == "--database") {
      s.schema.database = value;
    } else if (name == "--demo") {
      s.schema.demo = true;
    } else if (name == "--articles") {
      s.schema.articles = NumberOf(value, name);
    } else if (name == "--address") {
      s.announce.address = value;
    } else if (name == "--pid-file") {
      s.announce.pidFile = value;
    }
  }
  if (s.announceWithStart) {
    if (!kessmar::platform::Ipv4Address::Parse(s.start.listen)) {
      Usage("--announce needs --listen with one IPv4 address; otherwise run announce on its own");
    }
    s.start.announceAddress = s.start.listen;
  }
  return s;
}

int Run(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h" ||
      std::string(argv[1]) == "help") {
    std::cout << kHelp;
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  const Arguments args = Parse(argc, argv, 2);
  const std::vector<std::string> startOptions = {"--name", "--listen",   "--port",
                                                 "--fast", "--announce", "--discovery-port"};
  if (command == "init") {
    const Settings s = Apply(args, {"--superuser", "--trust", "--no-trust", "--no-sync"}, command);
    Cluster(Folder(args, command)).Init(s.init);
    std::cout << "Cluster created in " << Folder(args, command) << "\n";
  } else if (command == "start") {
    const Settings s = Apply(args, startOptions, command);
    Cluster cluster(Folder(args, command));
    cluster.Start(s.start);
    std::cout << "Server " << s.start.name << " listening on "
              << (s.start.listen.empty() ? "(socket only)" : s.start.listen) << " port "
              << s.start.port << ", socket " << cluster.Socket().string() << "\n";
  } else if (command == "stop") {
    const Settings s = Apply(args, {"--immediate"}, command);
    Cluster(Folder(args, command)).Stop(s.immediate);
  } else if (command == "status") {
    Apply(args, {}, command);
    std::cout << Cluster(Folder(args, command)).Status();
  } else if (command == "schema" || command == "demo") {
    Settings s = Apply(args, {"--database", "--demo", "--articles"}, command);
    if (args.positional.size() > 1) Usage(command + " takes at most one folder");
    if (!args.positional.empty()) s.schema.folder = args.positional[0];
    if (command == "schema") {
      CreateSchema(s.schema);
    } else {
      LoadDemo(s.schema);
    }
  } else if (command == "setup") {
    std::vector<std::string> allowed = startOptions;
    for (const char* o : {"--database", "--demo", "--articles", "--superuser", "--trust",
                          "--no-trust", "--no-sync"}) {
      allowed.emplace_back(o);
    }
    Settings s = Apply(args, allowed, command);
    const std::string folder = Folder(args, command);
    if (s.start.fast) s.init.noSync = true;
    Cluster cluster(folder);
    cluster.Init(s.init);
    cluster.Start(s.start);
    s.schema.folder = folder;
    CreateSchema(s.schema);
    std::cout << "Server " << s.start.name << " ready on " << s.start.listen << " port "
              << s.start.port << ", socket " << cluster.Socket().string() << "\n";
  } else if (command == "announce") {
    const Settings s =
        Apply(args, {"--name", "--address", "--discovery-port", "--pid-file"}, command);
    if (!args.positional.empty()) Usage("announce takes no folder");
    if (s.announce.address.empty()) Usage("announce needs --address");
    Announce(s.announce);
  } else {
    Usage("unknown command " + command);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "backoffice-server: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "backoffice-server: " << e.what() << "\n";
    return 1;
  }
}
