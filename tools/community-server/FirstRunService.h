#pragma once

// FirstRunService: the static-content host's "default/firstrun" object, which
// the program posts to once per user account. The request is only logged.

#include "CommunityServer.h"

namespace community {

class FirstRunService : public Service {
public:
    void Register(httplib::Server& server, const std::string& baseUrl) override;
};

} // namespace community
