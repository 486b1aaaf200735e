#pragma once
// CSerialPort: the serial link to the switcher. OpenLink opens the device with the line
// settings; the port thread then hands every received byte to the owner and writes out what the
// send operation queued. It moves bytes and knows nothing of frames.

#include "link/Link.h"
#include "link/SerialIo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvane {

// What the port thread needs of its owner, the main window. Both are called on the port thread.
class SerialPortOwner {
public:
    virtual ~SerialPortOwner() = default;
    // WM_RX_BYTE: received bytes in arrival order. Returns once the owner has processed them, or
    // false without processing them when the owner takes no bytes now (it is waiting for this
    // thread to end).
    virtual bool OnPortBytes(const std::uint8_t* bytes, std::size_t count, unsigned portNumber) = 0;
    // WM_COMM_FAILED: a wait or a write failed on the connection that session counts. Posted:
    // must not wait for the owner.
    virtual void OnPortFailed(unsigned session) = 0;
};

class CSerialPort final : public Link {
public:
    // One owner call per received byte, or one per read with all the bytes it returned. A
    // cross-thread round trip per byte is too slow to keep up with a busy line, so a read's
    // bytes go over together; the thread still waits until the owner has processed them.
    enum class Delivery { PerByte, PerRead };

    CSerialPort();
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Ends a previous port thread first (the owner must let a delivery of that thread return
    // while this waits), then opens the device. The line settings go as far as they can; only a
    // failed open returns false, and LastOpenError() says why.
    bool OpenLink(SerialPortOwner* owner, const std::string& device, unsigned portNumber,
                  const serialio::LineSettings& settings);
    // Runs LinkThreadProc on its own thread; call after a successful OpenLink.
    void StartLinkThread();
    // The close request: the port thread closes the port and ends. Returns at once.
    void RequestClose();
    // The close request, then waits until the port thread has ended (as a reopen and the
    // destructor do). The owner must let a delivery of that thread return meanwhile.
    void EndThread();

    // Open, and no close requested.
    bool IsOpen() const override;
    // The write request. Each call is one transmission; they go out whole and in call order.
    void Write(const std::uint8_t* bytes, std::size_t length) override;

    bool IsThreadAlive() const { return threadAlive_.load(); }
    // The system's error code of the last failed OpenLink.
    int LastOpenError() const { return lastOpenError_; }
    // Counts successful opens; failures carry the count of their connection.
    unsigned Session() const { return session_.load(); }
    void SetDelivery(Delivery delivery) { delivery_.store(delivery); }
    Delivery GetDelivery() const { return delivery_.load(); }

    static constexpr std::size_t kReadChunk = 512;

private:
    enum class Drained { Empty, Failed, Stopped };

    void LinkThreadProc(unsigned session);
    Drained DrainReceived();
    bool Deliver(const std::uint8_t* bytes, std::size_t count);
    // Writes the oldest queued transmission. False when the write failed.
    bool WritePending() const;
    bool FlushWriteBuffer(bool portUsable);

    std::recursive_mutex portLock_;  // every call on the port
    std::unique_ptr<serialio::Port> port_;
    std::atomic<bool> open_{false};
    std::thread thread_;
    std::atomic<bool> threadAlive_{false};
    serialio::Event writeRequest_;
    serialio::Event shutdown_;
    std::atomic<bool> shutdownRequested_{false};  // mirrors shutdown_ for the test between bytes

    mutable std::mutex queueLock_;
    std::deque<std::vector<std::uint8_t>> queue_;  // transmissions not yet taken up

    SerialPortOwner* owner_ = nullptr;
    unsigned portNumber_ = 0;
    serialio::LineSettings settings_;
    std::atomic<unsigned> session_{0};
    std::atomic<Delivery> delivery_{Delivery::PerRead};
    int lastOpenError_ = 0;
};

}  // namespace corvane
