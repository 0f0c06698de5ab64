// Client side of the wire protocol, shared by the crate library and the module library: one
// Asio socket with a large receive buffer, so many small reads cost one system call.
#pragma once

#include "device/kovaproto.h"

#include "device/kovaasio.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace kovaclient {

using Clock = std::chrono::steady_clock;

enum class Io { Ok, Timeout, Broken };

class Connection {
public:
    explicit Connection(std::size_t bufferSize) : Socket(Context), Buffer(bufferSize) {}

    bool Connect(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout) {
        asio::ip::tcp::endpoint ep(asio::ip::address_v4(address), port);
        bool done = false;
        asio::error_code result = asio::error::timed_out;
        Socket.async_connect(ep, [&](const asio::error_code &ec) {
            done = true;
            result = ec;
        });
        if (!RunUntil(done, Clock::now() + timeout) || result)
            return false;
        asio::error_code ec;
        Socket.set_option(asio::ip::tcp::no_delay(true), ec);
        Socket.non_blocking(true, ec);
        return !ec;
    }

    // Writes a whole message; a peer that takes nothing until the deadline breaks the link.
    bool Send(const std::vector<std::uint8_t> &message, Clock::time_point deadline) {
        std::size_t sent = 0;
        while (sent < message.size()) {
            asio::error_code ec;
            const std::size_t n =
                Socket.write_some(asio::buffer(message.data() + sent, message.size() - sent), ec);
            if (!ec) {
                sent += n;
                continue;
            }
            if (ec != asio::error::would_block && ec != asio::error::try_again)
                return false;
            if (Wait(asio::ip::tcp::socket::wait_write, deadline) != Io::Ok)
                return false;
        }
        return true;
    }

    std::size_t Available() const { return Tail - Head; }
    const std::uint8_t *Data() const { return Buffer.data() + Head; }
    void Consume(std::size_t n) { Head += n; }

    // Reads more bytes into the buffer: at once if some are waiting, else until the deadline.
    Io Fill(Clock::time_point deadline) {
        if (Head == Tail) {
            Head = Tail = 0;
        } else if (Buffer.size() - Tail < Buffer.size() / 4) {
            std::memmove(Buffer.data(), Buffer.data() + Head, Tail - Head);
            Tail -= Head;
            Head = 0;
        }
        for (;;) {
            asio::error_code ec;
            const std::size_t n =
                Socket.read_some(asio::buffer(Buffer.data() + Tail, Buffer.size() - Tail), ec);
            if (!ec) {
                Tail += n;
                return Io::Ok;
            }
            if (ec != asio::error::would_block && ec != asio::error::try_again)
                return Io::Broken;
            const Io w = Wait(asio::ip::tcp::socket::wait_read, deadline);
            if (w != Io::Ok)
                return w;
        }
    }

    // Reads the reply of the given request type, dropping data messages before it.
    Io ReadReply(std::uint16_t type, std::uint32_t maxPayload, kovaproto::Header &header,
                 std::vector<std::uint8_t> &payload, std::uint32_t &dataLeft,
                 Clock::time_point deadline) {
        for (;;) {
            if (dataLeft > 0) {
                const std::size_t n = std::min<std::size_t>(dataLeft, Available());
                Consume(n);
                dataLeft -= static_cast<std::uint32_t>(n);
                if (dataLeft > 0) {
                    if (Io r = Fill(deadline); r != Io::Ok)
                        return r;
                }
                continue;
            }
            if (Available() < kovaproto::kHeaderSize) {
                if (Io r = Fill(deadline); r != Io::Ok)
                    return r;
                continue;
            }
            header = kovaproto::DecodeHeader(Data());
            if (header.Type == kovaproto::kData) {
                if (header.Length > kovaproto::kMaxDataPayload || header.Length % 4 != 0)
                    return Io::Broken;
                Consume(kovaproto::kHeaderSize);
                dataLeft = header.Length;
                continue;
            }
            if (header.Type != (type | kovaproto::kReplyFlag) || header.Length > maxPayload)
                return Io::Broken;
            while (Available() < kovaproto::kHeaderSize + header.Length) {
                if (Io r = Fill(deadline); r != Io::Ok)
                    return r;
            }
            payload.assign(Data() + kovaproto::kHeaderSize,
                           Data() + kovaproto::kHeaderSize + header.Length);
            Consume(kovaproto::kHeaderSize + header.Length);
            return Io::Ok;
        }
    }

    void Close() {
        asio::error_code ec;
        Socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        Socket.close(ec);
    }

private:
    bool RunUntil(bool &done, Clock::time_point deadline) {
        Context.restart();
        const auto now = Clock::now();
        if (deadline > now)
            Context.run_for(deadline - now);
        if (!done) {
            asio::error_code ec;
            Socket.cancel(ec);
            Context.restart();
            Context.run();
        }
        return done;
    }

    Io Wait(asio::ip::tcp::socket::wait_type what, Clock::time_point deadline) {
        bool done = false;
        asio::error_code result;
        Socket.async_wait(what, [&](const asio::error_code &ec) {
            done = true;
            result = ec;
        });
        Context.restart();
        const auto now = Clock::now();
        if (deadline > now)
            Context.run_for(deadline - now);
        if (!done) {
            asio::error_code ec;
            Socket.cancel(ec);
            Context.restart();
            Context.run();
            if (!result || result == asio::error::operation_aborted)
                return Io::Timeout;
        }
        return result ? Io::Broken : Io::Ok;
    }

    asio::io_context Context{1};
    asio::ip::tcp::socket Socket;
    std::vector<std::uint8_t> Buffer;
    std::size_t Head = 0;
    std::size_t Tail = 0;
};

} // namespace kovaclient
