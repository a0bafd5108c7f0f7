#pragma once

// UpdateService: the update endpoint. "/update.php" answers with the update
// description kept in the data folder as "update.xml", where every "{{base}}"
// stands for the server's own address; "/downloads/<name>" serves the files
// of the folder "downloads" (the installers the descriptions name).

#include "CommunityServer.h"

#include <string>

namespace community {

class UpdateService : public Service {
public:
    explicit UpdateService(std::string dataDirectory);
    void Register(httplib::Server& server, const std::string& baseUrl) override;

private:
    void Describe(httplib::Response& response) const;
    void Download(const std::string& name, httplib::Response& response) const;

    std::string m_dataDirectory;
    std::string m_baseUrl;
};

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& contents);

} // namespace community
