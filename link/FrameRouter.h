#pragma once
// DispatchFrame: logs every complete frame and hands the checksum-valid ones to the reply
// handler of the page in front. Pages register their handlers; the router knows no widgets.

#include "link/CommandFrame.h"
#include "link/TrafficLog.h"

#include <array>
#include <cstdint>
#include <functional>

namespace corvane {

enum Page : std::uint8_t { kPageGeneral = 1, kPageEdid = 2, kPageSwitch = 3, kPageFirmware = 4 };

class FrameRouter {
public:
    using Handler = std::function<void(const Frame&)>;

    explicit FrameRouter(TrafficLog& log) : log_(log) {}

    void SetHandler(Page page, Handler handler) { handlers_[page] = std::move(handler); }

    std::uint8_t CurrentPage() const { return currentPage_; }
    void SetCurrentPage(std::uint8_t page) { currentPage_ = page; }

    void DispatchFrame(const Frame& frame);

private:
    TrafficLog& log_;
    std::uint8_t currentPage_ = kPageGeneral;
    std::array<Handler, 5> handlers_{};
};

}  // namespace corvane
