// Receive cost of the module library against kova-crated with pacing off, beside the raw
// loopback read throughput of this machine, and the time of a module open.
#include "device/kova8api.h"
#include "device/kovaasio.h"
#include "tests/support/crateserverprocess.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *kConfig = R"({ "pacing": false, "crates": [ { "serial": "2T000001", "modules": [
    { "slot": 3, "variant": 1, "sample_rate_hz": 100000,
      "channels": [ { "dc_mV": 1 }, { "dc_mV": 2 }, { "dc_mV": 3 }, { "dc_mV": 4 },
                    { "dc_mV": 5 }, { "dc_mV": 6 }, { "dc_mV": 7 }, { "dc_mV": 8 } ] } ] } ] })";

kovatest::TCrateServerProcess &Server() {
    static kovatest::TCrateServerProcess server(kConfig);
    return server;
}

std::string Firmware() {
    return kovatest::BinDir() + "/KOVA8.bio";
}

bool OpenAndStart(Kova8Descriptor &d, int channels) {
    KOVA8_Init(&d);
    if (KOVA8_Open(&d, KOVA_SERVER_ADDRESS, Server().Port(), "2T000001", 3, Firmware().c_str()))
        return false;
    d.RecordSize = 1220;
    d.AcquisitionMode = 2;
    d.Switch2 = 1;
    d.ReferenceVoltage = 1;
    d.LChannelCount = static_cast<uint32_t>(channels);
    for (int i = 0; i < channels; ++i)
        d.LChannels[i] = KOVA8_CreateLChannel2(static_cast<uint32_t>(i + 1), 3, 0);
    return KOVA8_SetADC(&d) == 0 && KOVA8_Start(&d) == 0;
}

// One-frame requests, as the measurement makes them.
void BM_RecvOneFrame(benchmark::State &state) {
    const int channels = static_cast<int>(state.range(0));
    Kova8Descriptor d;
    if (!OpenAndStart(d, channels)) {
        state.SkipWithError("module did not start");
        return;
    }
    const uint32_t frame = 2 * static_cast<uint32_t>(channels);
    uint32_t words[16];
    for (auto _ : state) {
        if (KOVA8_Recv(&d, words, nullptr, frame, 5000) != static_cast<int32_t>(frame)) {
            state.SkipWithError("short receive");
            break;
        }
        benchmark::DoNotOptimize(words);
    }
    KOVA8_Stop(&d);
    KOVA8_Close(&d);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * frame * 4);
}
BENCHMARK(BM_RecvOneFrame)->Arg(1)->Arg(8)->UseRealTime();

// Large requests: the library's bulk throughput.
void BM_RecvBulk(benchmark::State &state) {
    Kova8Descriptor d;
    if (!OpenAndStart(d, 8)) {
        state.SkipWithError("module did not start");
        return;
    }
    std::vector<uint32_t> words(1 << 16);
    for (auto _ : state) {
        const auto n = static_cast<uint32_t>(words.size());
        if (KOVA8_Recv(&d, words.data(), nullptr, n, 5000) != static_cast<int32_t>(n)) {
            state.SkipWithError("short receive");
            break;
        }
        benchmark::DoNotOptimize(words.data());
    }
    KOVA8_Stop(&d);
    KOVA8_Close(&d);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(words.size()) * 4);
}
BENCHMARK(BM_RecvBulk)->UseRealTime();

// What loopback TCP carries on this machine: a writer thread sends 64 KiB blocks, the
// benchmark reads 1 MiB at a time.
void BM_RawLoopbackRead(benchmark::State &state) {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    asio::ip::tcp::socket reader(io);
    std::atomic<bool> stop{false};
    std::thread writer([&, port = acceptor.local_endpoint().port()] {
        asio::io_context wio;
        asio::ip::tcp::socket s(wio);
        s.connect({asio::ip::address_v4::loopback(), port});
        std::vector<uint8_t> block(64 * 1024, 0x5A);
        asio::error_code ec;
        while (!stop && !ec)
            asio::write(s, asio::buffer(block), ec);
    });
    acceptor.accept(reader);
    std::vector<uint8_t> buffer(1 << 20);
    int64_t bytes = 0;
    for (auto _ : state)
        bytes += static_cast<int64_t>(reader.read_some(asio::buffer(buffer)));
    stop = true;
    reader.close();
    writer.join();
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_RawLoopbackRead)->UseRealTime();

// Open (with the firmware handed over) and close; repetitions give the median.
void BM_Open(benchmark::State &state) {
    Kova8Descriptor d;
    for (auto _ : state) {
        KOVA8_Init(&d);
        if (KOVA8_Open(&d, KOVA_SERVER_ADDRESS, Server().Port(), "2T000001", 3,
                       Firmware().c_str()) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        state.PauseTiming();
        KOVA8_Close(&d);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Open)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
