#include "link/CSerialPort.h"

#include <cerrno>

namespace corvane {

using serialio::Woken;
using serialio::WriteResult;

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    EndThread();
    std::lock_guard lock(portLock_);
    port_.reset();
    open_ = false;
}

void CSerialPort::EndThread() {
    if (!thread_.joinable()) return;
    shutdownRequested_ = true;
    shutdown_.Signal();
    thread_.join();
}

bool CSerialPort::OpenLink(SerialPortOwner* owner, const std::string& device, unsigned portNumber,
                           const serialio::LineSettings& settings) {
    EndThread();
    if (!shutdown_.Valid() || !writeRequest_.Valid()) {
        lastOpenError_ = EMFILE;
        return false;
    }
    shutdown_.Reset();
    writeRequest_.Reset();
    shutdownRequested_ = false;
    {
        // What was queued for the previous connection is not sent on this one.
        std::lock_guard q(queueLock_);
        queue_.clear();
    }
    owner_ = owner;
    portNumber_ = portNumber;
    settings_ = settings;

    std::lock_guard lock(portLock_);
    port_.reset();
    open_ = false;
    int error = 0;
    port_ = serialio::Port::Open(device, error);
    if (!port_) {
        lastOpenError_ = error;
        return false;
    }
    // A port whose settings could not all be applied is still used, as far as they went.
    port_->Configure(settings);
    port_->Purge();
    open_ = true;
    ++session_;
    return true;
}

void CSerialPort::StartLinkThread() {
    if (thread_.joinable() || !port_) return;
    threadAlive_ = true;
    thread_ = std::thread([this, session = session_.load()] { LinkThreadProc(session); });
}

void CSerialPort::RequestClose() {
    shutdownRequested_ = true;
    shutdown_.Signal();
}

bool CSerialPort::IsOpen() const {
    return open_.load() && !shutdownRequested_.load();
}

void CSerialPort::Write(const std::uint8_t* bytes, std::size_t length) {
    if (!IsOpen() || length == 0) return;
    std::lock_guard q(queueLock_);
    queue_.emplace_back(bytes, bytes + length);
    writeRequest_.Signal();
}

void CSerialPort::LinkThreadProc(unsigned session) {
    {
        std::lock_guard lock(portLock_);
        if (port_) port_->Purge();
    }
    // After a failure the port is no longer watched (a hung-up line reports itself without
    // end), and the thread only waits for its shutdown.
    bool usable = port_ != nullptr;
    auto fail = [&] {
        if (!usable) return;
        usable = false;
        if (owner_) owner_->OnPortFailed(session);
    };
    for (;;) {
        switch (serialio::Wait(usable ? port_.get() : nullptr, shutdown_, writeRequest_)) {
            case Woken::Shutdown: {
                std::lock_guard lock(portLock_);
                port_.reset();
                open_ = false;
                threadAlive_ = false;
                return;
            }
            case Woken::Input:
                if (DrainReceived() == Drained::Failed) fail();
                // Input wins the wait, so a device that keeps sending would hold back every
                // send; a waiting transmission goes out after each drain.
                if (WritePending() && !FlushWriteBuffer(usable)) fail();
                break;
            case Woken::PortFailed:
                // What arrived before the line went still counts.
                if (usable) DrainReceived();
                fail();
                break;
            case Woken::WriteRequest:
                if (!FlushWriteBuffer(usable)) fail();
                break;
        }
    }
}

CSerialPort::Drained CSerialPort::DrainReceived() {
    std::uint8_t buffer[kReadChunk];
    for (;;) {
        // A device that never stops sending must not keep the thread from its shutdown.
        if (shutdownRequested_) return Drained::Stopped;
        serialio::ReadResult got;
        {
            std::lock_guard lock(portLock_);
            got = port_->Read(buffer, sizeof buffer);
        }
        if (got.failed) return Drained::Failed;
        if (got.count == 0) return Drained::Empty;
        // The lock is not held here: the owner may use the port while it processes the bytes.
        if (!Deliver(buffer, got.count)) return Drained::Stopped;
    }
}

bool CSerialPort::Deliver(const std::uint8_t* bytes, std::size_t count) {
    if (!owner_) return true;
    if (delivery_ == Delivery::PerRead) return owner_->OnPortBytes(bytes, count, portNumber_);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && shutdownRequested_) return false;
        if (!owner_->OnPortBytes(bytes + i, 1, portNumber_)) return false;
    }
    return true;
}

bool CSerialPort::WritePending() const {
    std::lock_guard q(queueLock_);
    return !queue_.empty();
}

bool CSerialPort::FlushWriteBuffer(bool portUsable) {
    std::vector<std::uint8_t> transmission;
    {
        std::lock_guard q(queueLock_);
        if (!queue_.empty()) {
            transmission = std::move(queue_.front());
            queue_.pop_front();
        }
        // With more waiting the request stays signalled: the next transmission goes out on the
        // next turn of the wait, after the shutdown test.
        if (queue_.empty()) writeRequest_.Reset();
    }
    if (transmission.empty() || !portUsable) return true;
    std::lock_guard lock(portLock_);
    port_->Purge();
    return port_->WriteAll(transmission.data(), transmission.size(), shutdown_) !=
           WriteResult::Failed;
}

}  // namespace corvane
