// TCP chunks into the TCP receive path: the socket's read notification, the accumulation
// buffer, and the frames it gives on to DispatchFrame and the General page behind it.
//
// Input: byte 0 seeds the chunk sizes (up to 1100 bytes, past the buffer's capacity), the rest
// is what the peer sends.

#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Harness.h"

using corvane::test::Harness;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvane::fuzz::InitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    Harness& h = corvane::fuzz::SharedHarness();
    corvane::fuzz::Settle(h);
    h.main.SetCurrentPage(corvane::kPageGeneral);
    corvane::TcpLink& tcp = h.main.Session().Tcp();
    // A new connection starts with an empty accumulation buffer.
    tcp.Connect(QStringLiteral("127.0.0.1"));
    FUZZ_CHECK(h.sockets.stream != nullptr);
    h.sockets.stream->FinishConnect(0);
    h.Settle();

    corvane::fuzz::Chunker chunks(data + 1, size - 1, data[0], 1100);
    const std::uint8_t* piece = nullptr;
    std::size_t n = 0;
    std::vector<std::uint8_t> chunk;
    while (chunks.Next(piece, n) && h.sockets.stream) {
        chunk.assign(piece, piece + n);
        const std::size_t before = tcp.Accumulator().Count();
        h.sockets.stream->Arrive(chunk);
        h.Settle();
        // A chunk either completes a frame (and the buffer empties) or stays under 13 bytes.
        const std::size_t after = tcp.Accumulator().Count();
        FUZZ_CHECK(after < corvane::kFrameSize);
        if (before + chunk.size() < corvane::kFrameSize) FUZZ_CHECK(after == before + chunk.size());
        FUZZ_CHECK(h.main.Link().ready == 0 || h.main.Link().ready == 1);
        if (chunks.Random() % 5 == 0) h.Advance(600);
        h.CloseMessage();
    }
    return 0;
}
