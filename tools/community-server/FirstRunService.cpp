#include "FirstRunService.h"

namespace community {

void FirstRunService::Register(httplib::Server& server, const std::string&) {
    server.Post("/default/firstrun", [](const httplib::Request&, httplib::Response& response) {
        response.status = 200;
    });
}

} // namespace community
