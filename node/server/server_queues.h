// The two queues between the node core and the server link. The application owns one
// ServerQueues for its whole run and hands it to the producers and consumers.
#pragma once

#include "server/ccommand.h"
#include "server/clist.h"
#include "server/cresponse.h"
#include "server/request_queue.h"

namespace gw {

struct ServerQueues {
    RequestQueue CommandQueue;   // requests waiting for the server link, in turn by stream
    CList<CResponse> ReplyQueue; // finished replies waiting for the main window
};

} // namespace gw
