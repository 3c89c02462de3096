// The radio users' side of a real modem program: tncsim's scripted or interactive users work
// a station (direwolf, say) through its AGW port, so they can call a node across a radio
// channel. Each user registers its call and links to the node's call.
#pragma once

#include "sim_tnc.h"

#include <map>
#include <string>
#include <vector>

namespace tncsim {

class AgwClient final : public SimTnc {
  public:
    AgwClient(std::string nodeCall);
    ~AgwClient() override;
    AgwClient(const AgwClient&) = delete;
    AgwClient& operator=(const AgwClient&) = delete;

    bool connectTo(const std::string& host, int port);
    void addPollFds(std::vector<pollfd>& fds) const override;
    // Reads what the station sent; false once it closed.
    bool handle(const std::vector<pollfd>& fds) override;

    void fromHost(std::string_view bytes) override;
    void userConnect(int port, char stream, const std::string& call) override;
    void userData(int port, char stream, const std::string& text) override;
    void userDisconnect(int port, char stream) override;
    bool working() const override { return m_fd >= 0; }

  private:
    struct User {
        int port = 1;
        char stream = 'A';
        std::string call;
    };
    void send(int port, char kind, const std::string& from, const std::string& to,
              const std::string& data);
    void onFrame(int port, char kind, const std::string& from, const std::string& to,
                 const std::string& data);

    std::string m_nodeCall;
    int m_fd = -1;
    std::string m_in;
    std::map<std::string, User> m_users; // by the user's call
};

} // namespace tncsim
