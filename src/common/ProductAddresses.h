#pragma once
// The product's addresses on the web, in one place: the exports name the web site in what they
// write, the About window and the Help menu open it, and the About window offers the support
// address.

#include <string_view>

namespace folvane {

// The product's web site (its home page), as it is opened and as the exports name it.
inline constexpr std::string_view kProductWebSite = "https://www.folvane.org/";
// The web site as the About window shows it.
inline constexpr std::string_view kProductWebSiteShown = "www.folvane.org";
// The maker's support address; "mailto:" before it opens a new message to it.
inline constexpr std::string_view kSupportMail = "support@folvane.org";

} // namespace folvane
