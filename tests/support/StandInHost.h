#pragma once
// A session without a link, for the controllers' tests and fuzzers: it keeps the ready flag and
// hands every frame and block that would go out to the test, checksummed as the sender does.

#include "framework/Clock.h"
#include "link/TrafficLog.h"
#include "session/SessionHost.h"

#include <functional>
#include <utility>
#include <vector>

namespace corvane::test {

class StandInHost : public SessionHost {
public:
    StandInHost() = default;
    // With a clock, a send request goes out after the current handler returns, as the real
    // session's posted request does; without one it goes out at once.
    explicit StandInHost(Clock& postOn) : postOn_(&postOn) {}

    bool CheckLinkReady() override { return linkUp && std::exchange(ready, false); }
    bool IsReady() const override { return ready; }
    void SetReady(bool r) override { ready = r; }
    void PostSendRequest(int wParam) override {
        if (wParam == kStopMainTimeout) return;
        if (postOn_) {
            postOn_->Post([this, wParam] { Send(wParam); });
        } else {
            Send(wParam);
        }
    }
    void SendFrame(Frame& frame) override {
        frame[12] = FrameChecksum(frame.data());
        Deliver(frame);
    }
    void StartMainTimeout() override { ++mainTimeouts; }
    TransmitBuffers& Tx() override { return tx; }

    bool linkUp = true;
    bool ready = true;
    int mainTimeouts = 0;
    TransmitBuffers tx;
    // Where what goes out lands: the callbacks when set, otherwise the frames are kept in sent.
    std::function<void(const Frame&)> onFrame;
    std::function<void(const Block&)> onBlock;
    std::vector<Frame> sent;

private:
    void Send(int wParam) {
        if (wParam == kSendFirmwareBlock) {
            Block block = tx.block;
            block[0] = BlockChecksum(block.data());
            if (onBlock) onBlock(block);
            return;
        }
        Frame frame = tx.frame;
        frame[12] = FrameChecksum(frame.data());
        Deliver(frame);
    }
    void Deliver(const Frame& frame) {
        if (onFrame) {
            onFrame(frame);
        } else {
            sent.push_back(frame);
        }
    }

    Clock* postOn_ = nullptr;
};

// A traffic log pane that shows nothing.
class NullLog final : public LogTarget {
public:
    void InsertAtCaret(const std::string&) override {}
    void Empty() override {}
};

}  // namespace corvane::test
