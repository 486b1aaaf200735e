#pragma once
// A link to the switcher that bytes can be written to: the serial port or the TCP socket.

#include <cstddef>
#include <cstdint>

namespace corvane {

class Link {
public:
    virtual ~Link() = default;
    // Whether a link of this kind is open and can carry bytes now.
    virtual bool IsOpen() const = 0;
    // Hands the bytes to the link; they leave in the order of the calls. Nothing happens
    // when the link is not open. Errors are not reported here.
    virtual void Write(const std::uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace corvane
