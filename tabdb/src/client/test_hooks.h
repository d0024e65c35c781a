// test_hooks.h - functions of the client layer that exist for tests only.
//
// They let a test put the library into states that are hard to reach
// through the OCI calls themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <oci.h>

namespace tabdb {
namespace testing {

// Stores an error record in an error handle, as a failing call would; the
// next OCIErrorGet on the handle returns `code` and `text` (a line end is
// appended as for every record).
void SetErrorRecord(OCIError* errhp, int code, const std::string& text);

// Calls `hook` at the start of every OCIStmtExecute of a prepared
// statement, with its text, before anything of it runs; an empty function
// removes it. Statements the hook itself executes do not call it again.
// Lets a test act as another session at an exact point of a program's run.
void SetBeforeExecute(std::function<void(const std::string& text)> hook);

// Calls `hook` instead of waiting whenever the client layer would wait the
// simulated network delay (TABDB_NET_DELAY_US), with the microseconds;
// an empty function restores the wait.
void SetNetWaitHook(std::function<void(uint64_t us)> hook);

// Counting of the rows full scans of catalog tables step through, in the
// connections opened after it is switched on (switching clears the count).
void CountCatalogScans(bool on);
uint64_t CatalogScanSteps();
// The statements that scanned most, one per line with its count.
std::string CatalogScanReport(size_t max);

}  // namespace testing
}  // namespace tabdb
