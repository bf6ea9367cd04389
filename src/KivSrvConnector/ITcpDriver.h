// The HTTP transport behind the HTTP connector: one request set up by Open and posted by each Send.
#pragma once

#include <string>

class CSrvSettings;

class ITcpDriver {
public:
    virtual ~ITcpDriver() = default;
    // Prepares the request to the configured service; false when it cannot be prepared.
    virtual bool Open(const CSrvSettings& settings) = 0;
    // Posts one form body; true only when the service answered 2xx within the time-out.
    virtual bool Send(const std::string& body) = 0;
    virtual void Close() = 0;
};
