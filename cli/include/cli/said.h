#pragma once

#include <string>

#include "base/outcome.h"
#include "messages/language.h"

namespace charlib::cli {

// An outcome of reading a source as charlib-cli says it: its wording, and the
// option that helps where one does.
std::string said(const Outcome& outcome, Language language);
// Why a source was read in its encoding, with the counts that came with the reason.
std::string reason_said(const Outcome& reason, Language language);

}  // namespace charlib::cli
