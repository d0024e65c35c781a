// common_check_error_test.cpp - the status translation of the shared layer
// (check_error and the stored report) and the external type mapping.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "client/test_hooks.h"
#include "util.h"

namespace {

// An environment and an error handle of the client library, without any
// database: enough for error records.
class ErrorHandle : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&env_, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                                        0, nullptr));
    ASSERT_EQ(OCI_SUCCESS, OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_),
                                          OCI_HTYPE_ERROR, 0, nullptr));
    session_.errhp = err_;
    SetReport(0, "");
  }
  void TearDown() override {
    if (err_) OCIHandleFree(err_, OCI_HTYPE_ERROR);
    if (env_) OCIHandleFree(env_, OCI_HTYPE_ENV);
  }
  void SetReport(int code, const char* text) {
    session_.oec = code;
    std::strcpy(session_.oem, text);
  }
  OCI_ENV session_{};  // the session whose report check_error keeps
  OCIEnv* env_ = nullptr;
  OCIError* err_ = nullptr;
};

TEST_F(ErrorHandle, StatusesThatLeaveTheReportAlone) {
  for (sword status : {OCI_SUCCESS, OCI_NEED_DATA, OCI_NO_DATA}) {
    SetReport(942, "earlier failure");
    tabdb::testing::SetErrorRecord(err_, 1017, "ORA-01017: not this one");
    EXPECT_EQ(status, check_error(&session_, status)) << status;
    EXPECT_EQ(942, get_ora_code(&session_));
    EXPECT_STREQ("earlier failure", get_ora_message(&session_));
  }
}

TEST_F(ErrorHandle, StatusesWithoutRecordGetFixedTexts) {
  struct Case {
    sword status;
    const char* text;
  } cases[] = {
      {OCI_INVALID_HANDLE, "Error - OCI_INVALID_HANDLE"},
      {OCI_STILL_EXECUTING, "Error - OCI_STILL_EXECUTING"},
      {OCI_CONTINUE, "Error - OCI_CONTINUE"},
      {2, "Error - Unknow OCI error"},
      {OCI_RESERVED_FOR_INT_USE, "Error - Unknow OCI error"},
      {-4, "Error - Unknow OCI error"},
  };
  for (const Case& c : cases) {
    SetReport(1, "old");
    EXPECT_EQ(-1, check_error(&session_, c.status)) << c.status;
    EXPECT_EQ(-1, get_ora_code(&session_));
    EXPECT_STREQ(c.text, get_ora_message(&session_));
  }
}

TEST_F(ErrorHandle, ErrorAndInfoFetchTheRecord) {
  tabdb::testing::SetErrorRecord(err_, 942, "ORA-00942: table or view does not exist");
  EXPECT_EQ(-1, check_error(&session_, OCI_ERROR));
  EXPECT_EQ(942, get_ora_code(&session_));
  EXPECT_STREQ("ORA-00942: table or view does not exist\n", get_ora_message(&session_));

  // Success with information is 1, not 0: callers that accept only 0 fail.
  tabdb::testing::SetErrorRecord(err_, 24345, "ORA-24345: A Truncation or null fetch error occurred");
  EXPECT_EQ(1, check_error(&session_, OCI_SUCCESS_WITH_INFO));
  EXPECT_EQ(24345, get_ora_code(&session_));
  EXPECT_EQ(0, std::strncmp(get_ora_message(&session_), "ORA-24345", 9));
}

TEST_F(ErrorHandle, OverlongRecordIsCutAndTerminated) {
  std::memset(session_.oem, 'z', sizeof(session_.oem));  // no stray terminator to rely on
  std::string text(20000, 'x');
  tabdb::testing::SetErrorRecord(err_, 20000, text);
  EXPECT_EQ(-1, check_error(&session_, OCI_ERROR));
  EXPECT_EQ(20000, get_ora_code(&session_));
  EXPECT_EQ('\0', session_.oem[ORA_MESSAGE_SIZE - 1]);
  size_t len = std::strlen(session_.oem);
  EXPECT_LT(len, size_t{ORA_MESSAGE_SIZE});
  EXPECT_GE(len, size_t{ORA_MESSAGE_SIZE - 2});
  EXPECT_EQ(std::string(len, 'x'), std::string(session_.oem));
}

TEST_F(ErrorHandle, UnreadableRecordStillReturnsTheStatus) {
  // No handle, or a handle of the wrong kind: OCIErrorGet itself fails.
  void* bad_handles[] = {nullptr, env_};
  for (void* h : bad_handles) {
    session_.errhp = static_cast<OCIError*>(h);
    SetReport(942, "old");
    EXPECT_EQ(-1, check_error(&session_, OCI_ERROR));
    EXPECT_EQ(-1, get_ora_code(&session_));
    EXPECT_STREQ("Retrieve error message failed.", get_ora_message(&session_));
    SetReport(942, "old");
    EXPECT_EQ(1, check_error(&session_, OCI_SUCCESS_WITH_INFO));
    EXPECT_STREQ("Retrieve error message failed.", get_ora_message(&session_));
  }
}

TEST(ConvertToSqlt, EveryCodeAndTheFallback) {
  struct Case {
    int ctype, sqlt;
  } cases[] = {
      {CTYPE_CHAR, 96},        {CTYPE_NCHAR, 96},         {CTYPE_VARCHAR2, 1},
      {CTYPE_NVARCHAR2, 1},    {CTYPE_NUMBER, 2},         {CTYPE_DATE, 12},
      {CTYPE_TIMESTAMP, 180},  {CTYPE_TIMESTAMP_TZ, 181}, {CTYPE_TIMESTAMP_LTZ, 231},
      {CTYPE_INTERVAL_YM, 182}, {CTYPE_INTERVAL_DS, 183}, {CTYPE_RAW, 23},
      {CTYPE_LONG, 8},         {CTYPE_LONG_RAW, 24},      {CTYPE_CLOB, 112},
      {CTYPE_NCLOB, 112},      {CTYPE_BLOB, 113},         {CTYPE_BINARY_FLOAT, 100},
      {CTYPE_BINARY_DOUBLE, 101},
      // anything else is fetched and bound as a NUL-terminated string
      {0, 5}, {20, 5}, {999, 5}, {-1, 5}, {-2147483647 - 1, 5},
  };
  for (const Case& c : cases) EXPECT_EQ(c.sqlt, convert_to_sqlt(c.ctype)) << c.ctype;
}

}  // namespace
