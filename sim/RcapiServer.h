#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "sim/PbxSite.h"
#include "sim/SimOptions.h"

namespace sim {

class CRcapiConnection;

// The remote-CAPI server on 127.0.0.1: accepts the library's connections and
// gives each its own CRcapiConnection.
class CRcapiServer {
public:
    explicit CRcapiServer(CSimOptions options);
    ~CRcapiServer();
    CRcapiServer(const CRcapiServer&) = delete;
    CRcapiServer& operator=(const CRcapiServer&) = delete;

    // Binds and listens; the port in use, or 0 on failure (errno is kept).
    uint16_t Listen();
    // Serves until stopFd becomes readable, then ends every connection.
    void Run(int stopFd);

private:
    // Applications served side by side before further connections are refused.
    static constexpr size_t kMaxConnections = 64;

    void Accept();
    void Reap();

    CSimOptions m_options;
    CPbxSite m_site;
    int m_listenFd = -1;
    std::list<std::unique_ptr<CRcapiConnection>> m_connections;
};

}  // namespace sim
