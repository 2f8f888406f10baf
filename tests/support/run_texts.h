// What a run of cuesmelt prints to standard output, as the end-to-end tests
// expect it byte for byte.
#pragma once

#include <string>

namespace testing_support {

/// The web address is the one the build was configured with.
inline const std::string kBanner =
    "cuesmelt BETA 0.9 - 2024-03-30 the cuesmelt developers - " CUESMELT_HOME_PAGE "\n";
/// Up to a refusal of the sheet.
inline const std::string kParsing = kBanner + "parsing bin+cue... ";
/// Up to a failure once the sheet was read.
inline const std::string kWriting = kParsing + "ok.\nwriting... \n";
inline const std::string kSuccess = kWriting + "enjoy!\n";

}  // namespace testing_support
