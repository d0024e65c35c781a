// common_session_test.cpp - connect_oracle and disconnect_oracle against
// real database files: every way a connect ends, and the release of what a
// connect left behind.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support.h"
#include "util.h"

// The shared layer uses the handles of the program that links it.
OCI_ENV g_env;

namespace {

using testsupport::CreateDatabase;
using testsupport::TempDir;

bool AllHandlesNull() {
  return !g_env.envhp && !g_env.errhp && !g_env.svchp && !g_env.srvhp && !g_env.usrhp &&
         !g_env.smthp;
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    CreateDatabase(db_, "manager");
    std::memset(&g_env, 0, sizeof(g_env));
  }
  void TearDown() override { disconnect_oracle(&g_env); }
  TempDir dir_;
  std::string db_;
};

TEST_F(Session, GoodLoginThenTwoDisconnects) {
  ASSERT_EQ(0, connect_oracle(&g_env, "system", "manager", db_.c_str())) << get_ora_message(&g_env);
  EXPECT_EQ(0, g_env.mode);
  EXPECT_TRUE(g_env.envhp && g_env.errhp && g_env.svchp && g_env.srvhp && g_env.usrhp &&
              g_env.smthp);
  EXPECT_EQ(0, disconnect_oracle(&g_env)) << get_ora_message(&g_env);
  EXPECT_TRUE(AllHandlesNull());
  // A second disconnect finds nothing to do.
  EXPECT_EQ(0, disconnect_oracle(&g_env));
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, WrongPasswordFailsAndIsReleasedWhole) {
  EXPECT_EQ(-1, connect_oracle(&g_env, "system", "wrong", db_.c_str()));
  EXPECT_EQ(1017, get_ora_code(&g_env));
  EXPECT_NE(nullptr, std::strstr(get_ora_message(&g_env), "ORA-01017"));
  EXPECT_EQ(nullptr, g_env.smthp);
  // The handles the connect got are all released, the server included.
  EXPECT_EQ(0, disconnect_oracle(&g_env)) << get_ora_message(&g_env);
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, MissingFileFailsAtAttachThenReleases) {
  std::string missing = dir_.file("no-such-db");
  EXPECT_EQ(-1, connect_oracle(&g_env, "system", "manager", missing.c_str()));
  EXPECT_EQ(12154, get_ora_code(&g_env));
  EXPECT_NE(nullptr, std::strstr(get_ora_message(&g_env), "ORA-12154"));
  // Failed before the session handle; the server that did not attach is
  // gone already, the service context stays for disconnect_oracle.
  EXPECT_TRUE(g_env.envhp && g_env.errhp && g_env.svchp);
  EXPECT_EQ(nullptr, g_env.srvhp);
  EXPECT_EQ(nullptr, g_env.usrhp);
  EXPECT_EQ(0, disconnect_oracle(&g_env)) << get_ora_message(&g_env);
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, DisconnectBeforeAnyConnectDoesNothing) {
  EXPECT_EQ(0, disconnect_oracle(&g_env));
  EXPECT_TRUE(AllHandlesNull());
}

TEST_F(Session, ReconnectAfterDisconnectWorks) {
  ASSERT_EQ(0, connect_oracle(&g_env, "system", "manager", db_.c_str())) << get_ora_message(&g_env);
  ASSERT_EQ(0, disconnect_oracle(&g_env));
  ASSERT_EQ(0, connect_oracle(&g_env, "SYSTEM", "manager", db_.c_str())) << get_ora_message(&g_env);
  EXPECT_EQ(0, disconnect_oracle(&g_env));
}

}  // namespace
