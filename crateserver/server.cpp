#include "crateserver/server.h"

#include "device/kova8api.h"
#include "device/kova8firmware.h"
#include "device/kova8format.h"
#include "device/kovaproto.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <set>

namespace crated {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
namespace proto = kovaproto;

class Link;

struct CrateServer::Impl : std::enable_shared_from_this<CrateServer::Impl> {
    asio::io_context &Io;
    tcp::acceptor Acceptor;
    std::shared_ptr<const ServerConfig> Config;
    OpenRegistry Registry;
    LogSink Log;
    ServerLimits Limits;
    std::set<std::shared_ptr<Link>> Links;
    Clock::time_point Started = Clock::now();
    std::uint64_t NextId = 1;
    bool Closed = false;

    Impl(asio::io_context &io, ServerConfig config, LogSink log, ServerLimits limits)
        : Io(io), Acceptor(io), Config(std::make_shared<const ServerConfig>(std::move(config))),
          Log(std::move(log)), Limits(limits) {}

    void Say(std::uint64_t id, const std::string &text) {
        if (!Log)
            return;
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Started).count();
        Log(std::to_string(ms) + " #" + std::to_string(id) + " " + text);
    }

    void Accept();
};

namespace {

const char *StatusName(std::uint16_t status) {
    switch (status) {
    case proto::kOk:
        return "ok";
    case proto::kRefused:
        return "refused";
    case proto::kNotFound:
        return "not found";
    case proto::kBadRequest:
        return "bad request";
    case proto::kBusy:
        return "busy";
    case proto::kBadState:
        return "bad state";
    case proto::kBadFirmware:
        return "bad firmware";
    default:
        return "?";
    }
}

constexpr std::uint32_t kMalformedWord = 0xDEADBEEFu;

} // namespace

class Link : public std::enable_shared_from_this<Link> {
public:
    Link(CrateServer::Impl &server, tcp::socket socket)
        : Owner(server.shared_from_this()), Server(server), Socket(std::move(socket)),
          PartialTimer(server.Io), WriteTimer(server.Io), DataTimer(server.Io),
          Id(server.NextId++) {
        In.reserve(4096);
    }

    void Start() {
        asio::error_code ec;
        Socket.set_option(tcp::no_delay(true), ec);
        Server.Say(Id, "connection");
        Read();
    }

    void Close(const char *why) {
        if (Closed)
            return;
        Closed = true;
        Running = false;
        if (Kind == KindModule)
            Server.Registry.Close(CrateSerial, Slot);
        Server.Say(Id, std::string("closed (") + why + ")");
        asio::error_code ec;
        Socket.shutdown(tcp::socket::shutdown_both, ec);
        Socket.close(ec);
        PartialTimer.cancel();
        WriteTimer.cancel();
        DataTimer.cancel();
        Server.Links.erase(shared_from_this());
    }

private:
    enum LinkKind { KindNone, KindCrate, KindModule };

    void Read() {
        if (Closed || Reading || Paused())
            return;
        Reading = true;
        auto self = shared_from_this();
        Socket.async_read_some(
            asio::buffer(Chunk), [this, self](const asio::error_code &ec, std::size_t n) {
                Reading = false;
                if (ec) {
                    Close(ec == asio::error::eof ? "peer left" : "read error");
                    return;
                }
                In.insert(In.end(), Chunk.begin(), Chunk.begin() + static_cast<std::ptrdiff_t>(n));
                Parse();
                Read();
            });
    }

    // Stop taking requests while replies pile up or a firmware load is pending, so a client
    // that only writes cannot grow our memory.
    bool Paused() const { return Loading || Out.size() >= 4; }

    void Parse() {
        std::size_t pos = 0;
        while (!Closed && !Paused() && In.size() - pos >= proto::kHeaderSize) {
            const proto::Header h = proto::DecodeHeader(In.data() + pos);
            if (!proto::KnownRequest(h.Type) || h.Length > proto::RequestLimit(h.Type)) {
                Close("malformed message");
                return;
            }
            if (In.size() - pos < proto::kHeaderSize + h.Length)
                break;
            const std::uint8_t *payload = In.data() + pos + proto::kHeaderSize;
            pos += proto::kHeaderSize + h.Length;
            Handle(h, payload);
        }
        if (Closed)
            return;
        In.erase(In.begin(), In.begin() + static_cast<std::ptrdiff_t>(pos));
        if (In.empty()) {
            PartialTimer.cancel();
            PartialArmed = false;
        } else if (!PartialArmed) {
            PartialArmed = true;
            PartialTimer.expires_after(Server.Limits.PartialMessageTimeout);
            auto self = shared_from_this();
            PartialTimer.async_wait([this, self](const asio::error_code &ec) {
                if (!ec)
                    Close("message not completed in time");
            });
        }
    }

    void Reply(std::vector<std::uint8_t> message, std::uint16_t status) {
        proto::PutU16(message.data() + 6, status);
        Out.push_back(std::move(message));
        Write();
    }
    void Reply(std::uint16_t type, std::uint16_t status) {
        Reply(proto::Writer(type | proto::kReplyFlag).Finish(), status);
    }

    void Handle(const proto::Header &h, const std::uint8_t *payload) {
        proto::Reader r(payload, h.Length);
        const auto config = Server.Config;
        switch (h.Type) {
        case proto::kOpenCrate: {
            const std::string serial = r.Text(16);
            if (!r.Ok() || !r.AtEnd())
                return Close("malformed message");
            std::uint16_t status = proto::kOk;
            if (Kind != KindNone) {
                status = proto::kBadState;
            } else if (!serial.empty()) {
                const CrateConfig *c = config->FindCrate(serial);
                status = !c ? proto::kNotFound : c->RefuseOpen ? proto::kRefused : proto::kOk;
            }
            if (status == proto::kOk) {
                Kind = KindCrate;
                CrateSerial = serial;
            }
            Server.Say(Id, "open crate \"" + serial + "\" " + StatusName(status));
            return Reply(proto::kOpenCrate, status);
        }
        case proto::kListCrates: {
            if (Kind != KindCrate)
                return Reply(proto::kListCrates, proto::kBadState);
            if (config->RefuseCrateList)
                return Reply(proto::kListCrates, proto::kRefused);
            proto::Writer w(proto::kListCrates | proto::kReplyFlag);
            for (std::size_t i = 0; i < 16; ++i)
                w.Text(i < config->Crates.size() ? config->Crates[i].Serial : "", 16);
            return Reply(w.Finish(), proto::kOk);
        }
        case proto::kCrateModules: {
            const CrateConfig *c = Kind == KindCrate && !CrateSerial.empty()
                                       ? config->FindCrate(CrateSerial)
                                       : nullptr;
            if (!c)
                return Reply(proto::kCrateModules, proto::kBadState);
            if (c->RefuseModuleQuery)
                return Reply(proto::kCrateModules, proto::kRefused);
            std::array<std::uint16_t, 16> ids{};
            for (const auto &m : c->Modules)
                ids[static_cast<std::size_t>(m.Slot - 1)] = m.Id;
            proto::Writer w(proto::kCrateModules | proto::kReplyFlag);
            for (auto id : ids)
                w.U16(id);
            return Reply(w.Finish(), proto::kOk);
        }
        case proto::kOpenModule:
            return OpenModule(r, *config);
        case proto::kSetAdc:
            return SetAdc(r);
        case proto::kStart:
            return StartRun(*config);
        case proto::kStop: {
            if (Kind != KindModule)
                return Reply(proto::kStop, proto::kBadState);
            Running = false;
            DataTimer.cancel();
            const std::uint16_t status = Module.Faults.RefuseStop ? proto::kRefused : proto::kOk;
            Server.Say(Id, std::string("stop ") + StatusName(status) + " after " +
                               std::to_string(RunWords) + " words");
            return Reply(proto::kStop, status);
        }
        case proto::kReadEeprom: {
            const std::uint16_t address = r.U16();
            const std::uint16_t length = r.U16();
            if (!r.Ok() || !r.AtEnd())
                return Close("malformed message");
            if (Kind != KindModule || Running)
                return Reply(proto::kReadEeprom, proto::kBadState);
            if (std::uint32_t{address} + length > kova8::kEepromSize)
                return Reply(proto::kReadEeprom, proto::kBadRequest);
            if (Module.Faults.EepromFail)
                return Reply(proto::kReadEeprom, proto::kRefused);
            return Reply(proto::Writer(proto::kReadEeprom | proto::kReplyFlag)
                             .Raw(Module.Eeprom.data() + address, length)
                             .Finish(),
                         proto::kOk);
        }
        case proto::kCloseModule: {
            if (Kind != KindModule)
                return Reply(proto::kCloseModule, proto::kBadState);
            Running = false;
            DataTimer.cancel();
            Server.Registry.Close(CrateSerial, Slot);
            Kind = KindNone;
            Server.Say(Id, "close " + CrateSerial + "/" + std::to_string(Slot));
            return Reply(proto::kCloseModule, proto::kOk);
        }
        default:
            return Close("malformed message");
        }
    }

    void OpenModule(proto::Reader &r, const ServerConfig &config) {
        const std::string serial = r.Text(16);
        const std::int32_t slot = r.I32();
        const std::size_t imageSize = r.Left();
        const std::uint8_t *image = r.Bytes(imageSize);
        if (!r.Ok())
            return Close("malformed message");
        std::uint16_t status = proto::kOk;
        const ModuleConfig *m = config.FindModule(serial, slot);
        if (Kind != KindNone)
            status = proto::kBadState;
        else if (!m || !m->IsKova8())
            status = proto::kNotFound;
        else if (m->Faults.RefuseOpen)
            status = proto::kRefused;
        else if (!kova8fw::Valid(image, imageSize))
            status = proto::kBadFirmware;
        else if (!Server.Registry.TryOpen(serial, slot))
            status = proto::kBusy;
        const std::string what = "open " + serial + "/" + std::to_string(slot) + " ";
        if (status != proto::kOk) {
            Server.Say(Id, what + StatusName(status));
            return Reply(proto::kOpenModule, status);
        }
        Kind = KindModule;
        CrateSerial = serial;
        Slot = slot;
        Module = *m;
        Configured = false;
        Running = false;
        Samples = 0;
        Runs = 0;
        auto reply = proto::EncodeModuleInfo(
            proto::ModuleInfo{Module.Name, Module.Variant, Module.Serial, Module.FirmwareVersion});
        if (config.FirmwareLoadMs == 0) {
            Server.Say(Id, what + "ok");
            return Reply(std::move(reply), proto::kOk);
        }
        // The firmware load takes its time; the link takes no requests meanwhile.
        Loading = true;
        DataTimer.expires_after(std::chrono::milliseconds(config.FirmwareLoadMs));
        auto self = shared_from_this();
        DataTimer.async_wait([this, self, reply, what](const asio::error_code &ec) mutable {
            Loading = false;
            if (ec || Closed)
                return;
            Server.Say(Id, what + "ok");
            Reply(std::move(reply), proto::kOk);
            Parse();
            Read();
        });
    }

    void SetAdc(proto::Reader &r) {
        const auto c = proto::DecodeAdcConfig(r);
        if (!c)
            return Close("malformed message");
        std::uint16_t status = proto::kOk;
        Kova8Descriptor d{};
        d.RecordSize = c->RecordSize;
        d.LChannelCount = c->Count;
        std::copy(c->Channels.begin(), c->Channels.end(), d.LChannels);
        d.ReferenceVoltage = c->Reference;
        if (Kind != KindModule || Running)
            status = proto::kBadState;
        else if (Module.Faults.RefuseSetAdc)
            status = proto::kRefused;
        else if (kova8::CheckAdcConfig(d, Module.Variant) != kova8::kAdcOk)
            status = proto::kBadRequest;
        Server.Say(Id, "set-adc " + std::to_string(c->Count) + " channels " + StatusName(status));
        if (status != proto::kOk)
            return Reply(proto::kSetAdc, status);
        Channels.assign(c->Channels.begin(), c->Channels.begin() + c->Count);
        Configured = true;
        return Reply(
            proto::Writer(proto::kSetAdc | proto::kReplyFlag).F64(Module.SampleRateHz).Finish(),
            proto::kOk);
    }

    void StartRun(const ServerConfig &config) {
        std::uint16_t status = proto::kOk;
        if (Kind != KindModule || !Configured || Running) {
            status = proto::kBadState;
        } else {
            // Signals and faults come from the configuration in force now.
            if (const ModuleConfig *m = config.FindModule(CrateSerial, Slot))
                Module = *m;
            if (Module.Faults.RefuseStart)
                status = proto::kRefused;
        }
        Server.Say(Id, std::string("start ") + StatusName(status));
        if (status != proto::kOk)
            return Reply(proto::kStart, status);
        Stream = std::make_unique<SampleStream>(Module, Channels, Samples, Runs++);
        Pacing = config.Pacing;
        Running = true;
        RunWords = 0;
        RunFrames = 0;
        DataFrames = 0;
        DataWords = 0;
        RunStart = Clock::now();
        Reply(proto::kStart, proto::kOk);
        Pump();
    }

    // Sends the next data message when the link is free and samples are due.
    void Pump() {
        if (Closed || !Running || Writing || !Out.empty())
            return;
        const ModuleFaults &f = Module.Faults;
        if (f.DropAfterWords >= 0 && RunWords >= f.DropAfterWords)
            return Close("dropped by fault");
        long long allowed = std::numeric_limits<long long>::max();
        if (f.StallAfterWords >= 0)
            allowed = std::min(allowed, f.StallAfterWords - RunWords);
        if (f.DropAfterWords >= 0)
            allowed = std::min(allowed, f.DropAfterWords - RunWords);
        if (allowed <= 0)
            return; // stalled: the link stays, nothing more comes
        const std::size_t frameWords = Stream->FrameWords();
        std::size_t frames = proto::kMaxDataPayload / 4 / frameWords;
        if (Pacing) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - RunStart).count();
            const auto due = static_cast<std::uint64_t>(elapsed * Module.SampleRateHz);
            if (due <= RunFrames) {
                const double next = static_cast<double>(RunFrames + 1) / Module.SampleRateHz;
                DataTimer.expires_at(RunStart + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(next)));
                auto self = shared_from_this();
                DataTimer.async_wait([this, self](const asio::error_code &ec) {
                    if (!ec)
                        Pump();
                });
                return;
            }
            frames = std::min<std::size_t>(frames, due - RunFrames);
        }
        std::size_t words = frames * frameWords;
        if (static_cast<long long>(words) > allowed)
            words = static_cast<std::size_t>(allowed);
        const bool corrupt = f.CorruptAfterWords >= 0 &&
                             RunWords + static_cast<long long>(words) > f.CorruptAfterWords;
        // A constant stream repeats its frames: the last message's words serve again.
        if (Stream->Constant() && !corrupt && DataFrames == frames && DataWords == words) {
            Stream->Skip(frames);
        } else {
            Data.resize(proto::kHeaderSize + 4 * frames * frameWords);
            auto *out = reinterpret_cast<std::uint32_t *>(Data.data() + proto::kHeaderSize);
            Stream->Generate(out, frames);
            Data.resize(proto::kHeaderSize + 4 * words);
            if (corrupt)
                for (std::size_t i = 0; i < words; ++i)
                    if (RunWords + static_cast<long long>(i) >= f.CorruptAfterWords)
                        out[i] = kMalformedWord;
            proto::EncodeHeader(
                Data.data(), proto::Header{static_cast<std::uint32_t>(4 * words), proto::kData, 0});
            DataFrames = corrupt ? 0 : frames;
            DataWords = words;
        }
        RunFrames += frames;
        Samples = Stream->Samples();
        RunWords += static_cast<long long>(words);
        StartWrite(asio::buffer(Data), true);
    }

    void Write() {
        if (Closed || Writing || Out.empty())
            return;
        StartWrite(asio::buffer(Out.front()), false);
    }

    void StartWrite(asio::const_buffer buffer, bool data) {
        Writing = true;
        WriteTimer.expires_after(Server.Limits.WriteStallTimeout);
        auto self = shared_from_this();
        WriteTimer.async_wait([this, self](const asio::error_code &ec) {
            if (!ec && Writing)
                Close("reader stalled");
        });
        asio::async_write(Socket, buffer,
                          [this, self, data](const asio::error_code &ec, std::size_t) {
                              Writing = false;
                              WriteTimer.cancel();
                              if (ec) {
                                  Close("write error");
                                  return;
                              }
                              if (!data)
                                  Out.pop_front();
                              if (!Out.empty())
                                  Write();
                              else
                                  Pump();
                              Parse();
                              Read();
                          });
    }

    std::shared_ptr<CrateServer::Impl> Owner; // keeps the server state alive for our handlers
    CrateServer::Impl &Server;
    tcp::socket Socket;
    asio::steady_timer PartialTimer;
    asio::steady_timer WriteTimer;
    asio::steady_timer DataTimer;
    std::uint64_t Id;
    std::vector<std::uint8_t> In;
    std::array<std::uint8_t, 4096> Chunk{};
    std::deque<std::vector<std::uint8_t>> Out;
    std::vector<std::uint8_t> Data;
    std::size_t DataFrames = 0; // frames and words the Data message holds
    std::size_t DataWords = 0;
    bool Reading = false;
    bool Writing = false;
    bool Closed = false;
    bool PartialArmed = false;
    bool Loading = false;

    LinkKind Kind = KindNone;
    std::string CrateSerial;
    int Slot = 0;
    ModuleConfig Module;
    std::vector<std::uint32_t> Channels;
    std::unique_ptr<SampleStream> Stream;
    bool Configured = false;
    bool Running = false;
    bool Pacing = true;
    long long RunWords = 0;
    std::uint64_t RunFrames = 0;
    std::uint64_t Samples = 0;
    std::uint32_t Runs = 0;
    Clock::time_point RunStart;
};

void CrateServer::Impl::Accept() {
    Acceptor.async_accept(
        [this, self = shared_from_this()](const asio::error_code &ec, tcp::socket socket) {
            if (Closed)
                return;
            if (!ec) {
                if (Links.size() >= Limits.MaxConnections) {
                    asio::error_code ignored;
                    socket.close(ignored);
                } else {
                    auto link = std::make_shared<Link>(*this, std::move(socket));
                    Links.insert(link);
                    link->Start();
                }
            }
            Accept();
        });
}

CrateServer::CrateServer(asio::io_context &io, ServerConfig config, std::uint16_t port, LogSink log,
                         ServerLimits limits)
    : State(std::make_shared<Impl>(io, std::move(config), std::move(log), limits)) {
    const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    State->Acceptor.open(endpoint.protocol());
    State->Acceptor.set_option(tcp::acceptor::reuse_address(true));
    State->Acceptor.bind(endpoint);
    State->Acceptor.listen(asio::socket_base::max_listen_connections);
    State->Accept();
}

CrateServer::~CrateServer() {
    Shutdown();
}

std::uint16_t CrateServer::Port() const {
    return State->Acceptor.local_endpoint().port();
}

void CrateServer::SetConfig(ServerConfig config) {
    State->Config = std::make_shared<const ServerConfig>(std::move(config));
}

void CrateServer::Shutdown() {
    if (State->Closed)
        return;
    State->Closed = true;
    asio::error_code ec;
    State->Acceptor.close(ec);
    auto links = State->Links;
    for (const auto &link : links)
        link->Close("server ends");
}

std::size_t CrateServer::Connections() const {
    return State->Links.size();
}

} // namespace crated
