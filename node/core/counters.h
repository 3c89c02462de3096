// The node's running totals since start, for the status views: sessions, requests by command
// and outcome, radio bytes both ways, TNC faults and failed server connections. Bounded: the
// request map holds at most the five commands times their outcomes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace gw {

struct Counters {
    std::uint64_t sessions = 0; // radio users connected since start (the console is not counted)
    // (command, outcome) -> count; command "list", "read", "kill" or "send"; outcome "ok" (the
    // server answered success), "failed" (refused, erred or not reached, and not spooled),
    // "queued" (a send kept in the spool) or "refused" (the node refused it before sending).
    // Command "forward" is the spool's: "ok" (the server has it), "failed" (still queued) or
    // "set-aside" (refused for good).
    std::map<std::pair<std::string, std::string>, std::uint64_t> requests;
    std::uint64_t bytesFromRadio = 0; // user data received from radio users
    std::uint64_t bytesToRadio = 0;   // text, prompts and files sent to radio users
    std::uint64_t tncFaults = 0;      // times the TNC went from working to not working
    std::uint64_t serverFailures = 0; // requests whose server connection failed, reset or timed out
};

} // namespace gw
