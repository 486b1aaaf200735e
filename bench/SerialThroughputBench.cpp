// Bytes per second from a pseudo-terminal through the port thread and the synchronous call to
// OnRxByte on this (the user-interface) thread: one round trip per byte, or one per read.
#include "framework/SyncCall.h"
#include "link/CSerialPort.h"
#include "link/FrameAssembler.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>

#include <thread>

namespace corvane {
namespace {

class AssemblingOwner : public SerialPortOwner {
public:
    explicit AssemblingOwner(SyncCall& call) : call_(call) {}

    bool OnPortBytes(const std::uint8_t* bytes, std::size_t count, unsigned) override {
        return call_.Invoke([&] {
            for (std::size_t i = 0; i < count; ++i)
                assembler_.OnRxByte(bytes[i]);
            processed_ += count;
        });
    }
    void OnPortFailed(unsigned) override {}

    std::size_t processed_ = 0;  // owner thread only
    std::size_t frames_ = 0;

private:
    SyncCall& call_;
    FrameAssembler assembler_{[this](const Frame&) { ++frames_; }};
};

void PtyToOnRxByte(benchmark::State& state) {
    const auto delivery =
        state.range(0) ? CSerialPort::Delivery::PerRead : CSerialPort::Delivery::PerByte;
    const std::size_t bytesPerRun = static_cast<std::size_t>(state.range(1));
    test::PtyPair pty;
    SyncCall call;
    AssemblingOwner owner(call);
    CSerialPort port;
    port.SetDelivery(delivery);
    if (!port.OpenLink(&owner, pty.SlavePath(), 1, serialio::LineSettings{})) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    port.StartLinkThread();
    const std::uint8_t marker = 0;
    port.Write(&marker, 1);
    pty.Receive(1);  // the thread is past its first purge

    // Noise without a frame header: this measures the transport, not the reply handlers.
    test::Bytes noise(bytesPerRun);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>(i % 0x80);
    for (auto _ : state) {
        owner.processed_ = 0;
        std::thread writer([&] { pty.Send(noise, 60000); });
        while (owner.processed_ < bytesPerRun) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        writer.join();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerRun));
    state.SetLabel(delivery == CSerialPort::Delivery::PerRead ? "per read" : "per byte");
    port.RequestClose();
    call.Release();
}

BENCHMARK(PtyToOnRxByte)
    ->ArgNames({"per_read", "bytes"})
    ->Args({0, 16384})
    ->Args({1, 65536})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace corvane
