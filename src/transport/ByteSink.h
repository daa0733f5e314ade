#pragma once

namespace ports {

// What takes the bytes a transport received, in the order they arrived: a frame decoder, for
// one. A transport that feeds a sink knows nothing of what the bytes mean, and the sink nothing of
// the line they came on, so that one decoder serves every transport its device can be reached by.
class IByteSink
{
public:
    virtual ~IByteSink() = default;

    // One received byte; called on whichever thread reads the transport.
    virtual void Receive(char aByte) = 0;

protected:
    IByteSink() = default;
    IByteSink(const IByteSink&) = default;
    IByteSink& operator=(const IByteSink&) = default;
};

} // namespace ports
