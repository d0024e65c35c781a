// external_types.h - external type codes that oci.h does not name: Oracle's
// internal codes of the datetime and interval types, which a caller may use
// as external types to exchange the stored byte forms as they are (oci.h
// names only the descriptor forms, SQLT_TIMESTAMP 187 and its kin).
#pragma once

#include <oci.h>

namespace tabdb {

constexpr ub2 kSqltTimestamp = 180;
constexpr ub2 kSqltTimestampTZ = 181;
constexpr ub2 kSqltIntervalYM = 182;
constexpr ub2 kSqltIntervalDS = 183;
constexpr ub2 kSqltTimestampLTZ = 231;

}  // namespace tabdb
