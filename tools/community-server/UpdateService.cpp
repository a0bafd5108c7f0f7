#include "UpdateService.h"

#include <fstream>
#include <sstream>

namespace community {
namespace {

constexpr const char* kPlaceholder = "{{base}}";

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
}

// Names from the request path stay inside the downloads folder.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

void NotFound(httplib::Response& response) {
    response.status = 404;
    response.set_content("Not found\n", "text/plain");
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream out;
    out << in.rdbuf();
    contents = out.str();
    return !in.bad();
}

UpdateService::UpdateService(std::string dataDirectory)
    : m_dataDirectory(std::move(dataDirectory)) {}

void UpdateService::Register(httplib::Server& server, const std::string& baseUrl) {
    m_baseUrl = baseUrl;
    server.Get("/update.php", [this](const httplib::Request&, httplib::Response& response) {
        Describe(response);
    });
    server.Get(R"(/downloads/([^/]+))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   Download(request.matches[1], response);
               });
}

void UpdateService::Describe(httplib::Response& response) const {
    std::string description;
    if (!ReadWholeFile(m_dataDirectory + "/update.xml", description)) {
        NotFound(response);
        return;
    }
    ReplaceAll(description, kPlaceholder, m_baseUrl);
    response.set_content(description, "text/xml");
}

void UpdateService::Download(const std::string& name, httplib::Response& response) const {
    std::string contents;
    if (!IsPlainFileName(name) ||
        !ReadWholeFile(m_dataDirectory + "/downloads/" + name, contents)) {
        NotFound(response);
        return;
    }
    response.set_content(contents, "application/octet-stream");
}

} // namespace community
