// kova-crated [--config FILE] [--port N] [--log]: serves the simulated crates on 127.0.0.1.
#include "crateserver/model.h"
#include "crateserver/server.h"

#include "device/kovaasio.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

namespace {

int Usage(const char *why) {
    std::fprintf(stderr, "kova-crated: %s\nusage: kova-crated [--config FILE] [--port N] [--log]\n",
                 why);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    std::optional<std::string> configPath;
    unsigned long port = 11111;
    bool log = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--config" && i + 1 < argc) {
            configPath = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            char *end = nullptr;
            port = std::strtoul(argv[++i], &end, 10);
            if (!end || *end != 0 || port > 65535)
                return Usage("the port must be a number 0 to 65535");
        } else if (arg == "--log") {
            log = true;
        } else {
            return Usage(("unknown argument " + arg).c_str());
        }
    }

    crated::ServerConfig config;
    try {
        config = configPath ? crated::LoadConfigFile(*configPath) : crated::DefaultConfig();
    } catch (const crated::ConfigError &e) {
        std::fprintf(stderr, "kova-crated: bad configuration: %s\n", e.what());
        return 1;
    }

    asio::io_context io(1);
    std::optional<crated::CrateServer> server;
    crated::CrateServer::LogSink sink;
    if (log)
        sink = [](const std::string &line) { std::cout << line << std::endl; };
    try {
        server.emplace(io, std::move(config), static_cast<std::uint16_t>(port), sink);
    } catch (const std::system_error &e) {
        std::fprintf(stderr, "kova-crated: cannot listen on 127.0.0.1:%lu: %s\n", port,
                     e.code().message().c_str());
        return 1;
    }
    if (log)
        std::cout << "listening on 127.0.0.1:" << server->Port() << std::endl;

    asio::signal_set signals(io, SIGHUP, SIGTERM, SIGINT);
    std::function<void()> waitSignal = [&] {
        signals.async_wait([&](const asio::error_code &ec, int signo) {
            if (ec)
                return;
            if (signo == SIGHUP) {
                if (configPath) {
                    try {
                        server->SetConfig(crated::LoadConfigFile(*configPath));
                        std::fprintf(stderr, "kova-crated: configuration re-read\n");
                    } catch (const crated::ConfigError &e) {
                        std::fprintf(stderr, "kova-crated: configuration kept, new one bad: %s\n",
                                     e.what());
                    }
                }
                waitSignal();
                return;
            }
            server->Shutdown();
            io.stop();
        });
    };
    waitSignal();
    std::signal(SIGPIPE, SIG_IGN);
    io.run();
    return 0;
}
