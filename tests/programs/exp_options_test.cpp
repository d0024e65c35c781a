// exp_options_test.cpp - the keywords tabexp shares with tabimp, through
// tabexp's parse_arguments (see shared_options_test.h).
#include "shared_options_test.h"

int ParseProgramArguments(int argc, char** argv) {
  static EXP_RUN run;  // large: kept out of the stack
  return parse_export_arguments(&run, argc, argv);
}

namespace {

const std::vector<std::string> kOwn = {"OWNER=o"};

TEST(ExpSharedOptions, AcceptedInBothSpellings) { sharedopts::CheckAccepted("tabexp", kOwn); }

TEST(ExpSharedOptions, RefusedAsBefore) {
  sharedopts::CheckRefused("tabexp", kOwn, "tabexp KEYWORD=value\n\nUSERID must be the first");
}

}  // namespace
