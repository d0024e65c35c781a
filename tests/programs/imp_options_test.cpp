// imp_options_test.cpp - the keywords tabimp shares with tabexp, through
// tabimp's parse_arguments (see shared_options_test.h).
#include "shared_options_test.h"

namespace {
IMP_RUN run;  // large: kept out of the stack
}  // namespace

int ParseProgramArguments(int argc, char** argv) {
  clear_run_options(&run.opts);  // the parse clears the whole record, the earlier TABLES list with it
  return parse_imp_arguments(&run, argc, argv);
}

const RUN_OPTIONS* ParsedOptions() { return &run.opts; }

namespace {

const std::vector<std::string> kOwn = {"TOUSER=t"};

TEST(ImpSharedOptions, AcceptedInBothSpellings) { sharedopts::CheckAccepted("tabimp", kOwn); }

TEST(ImpSharedOptions, RefusedAsBefore) {
  sharedopts::CheckRefused("tabimp", kOwn, "tabimp KEYWORD=value\n\nUSERID must be the first");
}

}  // namespace
