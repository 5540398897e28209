#pragma once
// The language of every message, help text and report: English, the source
// language, or simplified Chinese.

#include <functional>

namespace charlib {

enum class Language { English, Chinese };

// As gettext chooses: LANGUAGE (a list, the first entry we have a catalog
// for), then the first set of LC_ALL, LC_MESSAGES and LANG. A value beginning
// with "zh" is Chinese, anything else English. Unlike gettext, LANGUAGE counts
// even where the locale is C, and nothing depends on the locale being
// installed: only the variables are read.
Language language_from(const std::function<const char*(const char*)>& variable);
// From this process's environment.
Language user_language();

}  // namespace charlib
