// Text helpers of the HTML pages: escaping for element content and quoted
// attribute values, percent-encoding for URL query values and path
// segments, and shortening text without cutting a UTF-8 character.
#ifndef METASHELF_SERVER_PAGES_HTML_H_
#define METASHELF_SERVER_PAGES_HTML_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace metashelf::pages {

// Escapes & < > " ' so that the text stays text both between tags and inside
// a double- or single-quoted attribute value. Control characters that HTML
// does not allow become a space; bytes that are not valid UTF-8 become
// U+FFFD, so a damaged record cannot break the page's encoding.
std::string Escape(std::string_view text);

// Percent-encodes everything but unreserved characters (A-Z a-z 0-9 - . _ ~),
// for a query value or one path segment.
std::string UrlEncode(std::string_view text);

// The first `limit` characters (code points) of `text` at most, cut at a
// space where one is near, with an ellipsis when something was cut.
std::string Shorten(std::string_view text, std::size_t limit);

}  // namespace metashelf::pages

#endif  // METASHELF_SERVER_PAGES_HTML_H_
