// common_session_test.cpp - connect_oracle and disconnect_oracle against
// real database files: every way a connect ends, and the release of what a
// connect left behind.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support.h"
#include "util.h"

// The session the tests connect and end.
static OCI_ENV g_session;

namespace {

using testsupport::CreateDatabase;
using testsupport::TempDir;

bool AllHandlesNull() {
  return !g_session.envhp && !g_session.errhp && !g_session.svchp && !g_session.srvhp && !g_session.usrhp &&
         !g_session.smthp;
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    CreateDatabase(db_, "manager");
    std::memset(&g_session, 0, sizeof(g_session));
  }
  void TearDown() override { disconnect_oracle(&g_session); }
  TempDir dir_;
  std::string db_;
};

TEST_F(Session, GoodLoginThenTwoDisconnects) {
  ASSERT_EQ(0, connect_oracle(&g_session, "system", "manager", db_.c_str())) << get_ora_message(&g_session);
  EXPECT_EQ(0, g_session.mode);
  EXPECT_TRUE(g_session.envhp && g_session.errhp && g_session.svchp && g_session.srvhp && g_session.usrhp &&
              g_session.smthp);
  EXPECT_EQ(0, disconnect_oracle(&g_session)) << get_ora_message(&g_session);
  EXPECT_TRUE(AllHandlesNull());
  // A second disconnect finds nothing to do.
  EXPECT_EQ(0, disconnect_oracle(&g_session));
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, WrongPasswordFailsAndIsReleasedWhole) {
  EXPECT_EQ(-1, connect_oracle(&g_session, "system", "wrong", db_.c_str()));
  EXPECT_EQ(1017, get_ora_code(&g_session));
  EXPECT_NE(nullptr, std::strstr(get_ora_message(&g_session), "ORA-01017"));
  EXPECT_EQ(nullptr, g_session.smthp);
  // The handles the connect got are all released, the server included.
  EXPECT_EQ(0, disconnect_oracle(&g_session)) << get_ora_message(&g_session);
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, MissingFileFailsAtAttachThenReleases) {
  std::string missing = dir_.file("no-such-db");
  EXPECT_EQ(-1, connect_oracle(&g_session, "system", "manager", missing.c_str()));
  EXPECT_EQ(12154, get_ora_code(&g_session));
  EXPECT_NE(nullptr, std::strstr(get_ora_message(&g_session), "ORA-12154"));
  // Failed before the session handle; the server that did not attach is
  // gone already, the service context stays for disconnect_oracle.
  EXPECT_TRUE(g_session.envhp && g_session.errhp && g_session.svchp);
  EXPECT_EQ(nullptr, g_session.srvhp);
  EXPECT_EQ(nullptr, g_session.usrhp);
  EXPECT_EQ(0, disconnect_oracle(&g_session)) << get_ora_message(&g_session);
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, DisconnectBeforeAnyConnectDoesNothing) {
  EXPECT_EQ(0, disconnect_oracle(&g_session));
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, ReconnectAfterDisconnectWorks) {
  ASSERT_EQ(0, connect_oracle(&g_session, "system", "manager", db_.c_str())) << get_ora_message(&g_session);
  ASSERT_EQ(0, disconnect_oracle(&g_session));
  ASSERT_EQ(0, connect_oracle(&g_session, "SYSTEM", "manager", db_.c_str())) << get_ora_message(&g_session);
  EXPECT_EQ(0, disconnect_oracle(&g_session));
}

}  // namespace
