// exp_options_test.cpp - the keywords tabexp shares with tabimp, through
// tabexp's parse_arguments (see shared_options_test.h).
#include "shared_options_test.h"

namespace {
EXP_RUN run;  // large: kept out of the stack
}  // namespace

int ParseProgramArguments(int argc, char** argv) { return parse_export_arguments(&run, argc, argv); }

const RUN_OPTIONS* ParsedOptions() { return &run.opts; }

namespace {

const std::vector<std::string> kOwn = {"OWNER=o"};

TEST(ExpSharedOptions, AcceptedInBothSpellings) { sharedopts::CheckAccepted("tabexp", kOwn); }

TEST(ExpSharedOptions, RefusedAsBefore) {
  sharedopts::CheckRefused("tabexp", kOwn, "tabexp KEYWORD=value\n\nUSERID must be the first");
}

}  // namespace
