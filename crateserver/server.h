// Network front of the simulated crate server: accepts links on 127.0.0.1, answers the device
// libraries' requests from the model and streams sample words while a module runs.
#pragma once

#include "crateserver/model.h"

#include "device/kovaasio.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace crated {

struct ServerLimits {
    std::size_t MaxConnections = 256;
    std::chrono::milliseconds PartialMessageTimeout{5000}; // a message begun must end by then
    std::chrono::milliseconds WriteStallTimeout{10000};    // a reader that takes nothing
};

class CrateServer {
public:
    using LogSink = std::function<void(const std::string &)>;

    // Binds 127.0.0.1:port (0 = any free port); throws std::system_error when it cannot.
    CrateServer(asio::io_context &io, ServerConfig config, std::uint16_t port, LogSink log = {},
                ServerLimits limits = {});
    ~CrateServer();
    CrateServer(const CrateServer &) = delete;
    CrateServer &operator=(const CrateServer &) = delete;

    std::uint16_t Port() const;
    // The new configuration serves new requests; a running module keeps its signals and
    // faults until its next start.
    void SetConfig(ServerConfig config);
    // Closes the listener and every link.
    void Shutdown();
    std::size_t Connections() const;

    struct Impl;

private:
    std::shared_ptr<Impl> State;
};

} // namespace crated
