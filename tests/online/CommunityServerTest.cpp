#include "CommunityServerProcess.h"

#include "platform/Http.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A data folder with an update description and one installer.
class CommunityServerTest : public testing::Test {
protected:
    void SetUp() override {
        m_data = m_home.Root() + "/data";
        std::filesystem::create_directories(m_data + "/downloads");
        testsupport::WriteFile(
            m_data + "/update.xml",
            "<update><location>{{base}}/downloads/setup.deb</location></update>");
        testsupport::WriteFile(m_data + "/downloads/setup.deb", std::string("\x7f"
                                                                            "ELF\0\1",
                                                                            6));
        testsupport::WriteFile(m_data + "/secret.txt", "not for download");
    }

    testsupport::ScopedTestHome m_home;
    std::string m_data;
};

TEST_F(CommunityServerTest, ServesTheUpdateDescriptionWithItsOwnAddress) {
    testsupport::CommunityServerProcess server(m_data, m_home.Root() + "/server.log");
    ASSERT_TRUE(server.Started()) << server.Log();
    const auto reply = testsupport::HttpGet(server.BaseUrl() + "/update.php");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body,
              "<update><location>" + server.BaseUrl() + "/downloads/setup.deb</location></update>");

    const auto installer = testsupport::HttpGet(server.BaseUrl() + "/downloads/setup.deb");
    EXPECT_EQ(installer.status, 200);
    EXPECT_EQ(installer.body, std::string("\x7f"
                                          "ELF\0\1",
                                          6));
}

TEST_F(CommunityServerTest, RefusesFilesOutsideTheDownloadsFolder) {
    testsupport::CommunityServerProcess server(m_data, m_home.Root() + "/server.log");
    ASSERT_TRUE(server.Started()) << server.Log();
    for (const char* path : {"/downloads/missing.deb", "/downloads/..%2Fsecret.txt",
                             "/downloads/%2E%2E", "/secret.txt", "/downloads/"}) {
        const auto reply = testsupport::HttpGet(server.BaseUrl() + path);
        EXPECT_EQ(reply.status, 404) << path;
        EXPECT_EQ(reply.body.find("not for download"), std::string::npos) << path;
    }
}

TEST_F(CommunityServerTest, NoDescriptionIsNotFound) {
    std::filesystem::remove(m_data + "/update.xml");
    testsupport::CommunityServerProcess server(m_data, m_home.Root() + "/server.log");
    ASSERT_TRUE(server.Started()) << server.Log();
    EXPECT_EQ(testsupport::HttpGet(server.BaseUrl() + "/update.php").status, 404);
}

TEST_F(CommunityServerTest, AcceptsTheFirstRunNoticeAndLogsIt) {
    testsupport::CommunityServerProcess server(m_data, m_home.Root() + "/server.log");
    ASSERT_TRUE(server.Started()) << server.Log();
    const platform::HttpResult result =
        platform::HttpPostEmpty(server.BaseUrl() + "/default/firstrun", "Orvanta");
    EXPECT_TRUE(result.transferred) << result.error;
    EXPECT_EQ(result.status, 200);
    EXPECT_TRUE(server.WaitForLog("POST /default/firstrun 200")) << server.Log();
}

TEST_F(CommunityServerTest, APortInUseEndsTheServerWithAMessage) {
    testsupport::CommunityServerProcess first(m_data, m_home.Root() + "/first.log");
    ASSERT_TRUE(first.Started()) << first.Log();
    testsupport::CommunityServerProcess second(m_data, m_home.Root() + "/second.log", first.Port());
    EXPECT_FALSE(second.Started());
    EXPECT_EQ(second.ExitStatus(), 1);
    EXPECT_NE(second.Log().find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())),
              std::string::npos)
        << second.Log();
    EXPECT_EQ(testsupport::HttpGet(first.BaseUrl() + "/update.php").status, 200);
}

} // namespace
