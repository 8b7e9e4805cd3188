#pragma once
// The website's one style sheet and its search script.
namespace qb::site {
const char* SiteStyleSheet();
const char* SiteSearchScript();
}  // namespace qb::site
