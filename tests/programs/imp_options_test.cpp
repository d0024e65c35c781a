// imp_options_test.cpp - the keywords tabimp shares with tabexp, through
// tabimp's parse_arguments (see shared_options_test.h).
#include "shared_options_test.h"

int ParseProgramArguments(int argc, char** argv) {
  static IMP_RUN run;  // large: kept out of the stack
  return parse_imp_arguments(&run, argc, argv);
}

namespace {

const std::vector<std::string> kOwn = {"TOUSER=t"};

TEST(ImpSharedOptions, AcceptedInBothSpellings) { sharedopts::CheckAccepted("tabimp", kOwn); }

TEST(ImpSharedOptions, RefusedAsBefore) {
  sharedopts::CheckRefused("tabimp", kOwn, "tabimp KEYWORD=value\n\nUSERID must be the first");
}

}  // namespace
