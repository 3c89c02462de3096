// A simulated sound-card modem program offering the AGW TCP interface: applications connect,
// register a call and are told of the radio users' links, data and disconnections. It keeps
// each link's queue like a real channel and can misbehave as real ones do: drop queued data on
// a disconnect, refuse a registration, send a broken frame, vanish and come back.
#pragma once

#include "sim_line.h"
#include "sim_tnc.h"

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tncsim {

struct AgwSimOptions {
    int tcpPort = 0;           // 0: any free port of 127.0.0.1
    int radioPorts = 1;        // how many radio ports the G answer lists
    int rate = 0;              // bytes a second a link delivers to its user; 0 at once
    bool dropQueued = false;   // a disconnect throws away what is still queued
    bool refuse = false;       // every registration is refused
    int malformedAfterMs = -1; // after the first registration, send a frame no AGW peer sends
    int vanishAfterMs = -1;    // after the first registration, close everything
    int returnAfterMs = -1;    // after vanishing, listen again on the same port
};

class AgwSim final : public SimTnc {
  public:
    explicit AgwSim(AgwSimOptions options);
    ~AgwSim() override;
    AgwSim(const AgwSim&) = delete;
    AgwSim& operator=(const AgwSim&) = delete;

    bool listen();
    int port() const { return m_port; }

    void addPollFds(std::vector<pollfd>& fds) const override;
    bool handle(const std::vector<pollfd>& fds) override;
    // Delivers queued data, runs the timed faults.
    std::chrono::milliseconds service() override;

    void fromHost(std::string_view bytes) override;
    void userConnect(int port, char stream, const std::string& call) override;
    void userData(int port, char stream, const std::string& text) override;
    void userDisconnect(int port, char stream) override;
    bool working() const override;

  private:
    struct Client {
        int fd = -1;
        std::string in;
        std::string call; // registered call, empty when none
    };
    struct Link {
        int port = 1;
        char stream = 'A';
        std::string user;
        std::string node;
        int client = -1; // fd of the application holding the node's call
        std::deque<std::string> queue;
        Clock::time_point nextDelivery{};
        bool closing = false;
    };
    void accept();
    void receive(Client& client);
    void onFrame(Client& client, int port, char kind, const std::string& from,
                 const std::string& to, const std::string& data);
    void send(int fd, int port, char kind, const std::string& from, const std::string& to,
              const std::string& data);
    void endLink(std::map<std::string, Link>::iterator link, bool tellApplication);
    void vanish();
    Client* registeredFor(const std::string& call);
    std::map<std::string, Link>::iterator findLink(int agwPort, const std::string& user);
    static std::string key(int port, char stream);

    AgwSimOptions m_options;
    int m_listen = -1;
    int m_port = 0;
    std::vector<Client> m_clients;
    std::map<std::string, Link> m_links;
    std::optional<Clock::time_point> m_firstRegistration;
    bool m_malformedSent = false;
    bool m_vanished = false;
    bool m_returned = false;
    Clock::time_point m_vanishedAt{};
};

} // namespace tncsim
