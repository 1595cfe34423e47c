// Escaping, encoding, shortening and labels: the small rules every page
// leans on for its safety and readability.
#include "html.h"

#include <gtest/gtest.h>

#include <string>

#include "record_view.h"

using metashelf::pages::Escape;
using metashelf::pages::LabelFor;
using metashelf::pages::Shorten;
using metashelf::pages::UrlEncode;

TEST(PagesTextTest, EscapeKeepsTextAsTextInContentAndAttributes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a & b \"c\" 'd'", "a &amp; b &quot;c&quot; &#39;d&#39;"},
      {"\" onmouseover=\"x", "&quot; onmouseover=&quot;x"},
      {"&amp;", "&amp;amp;"},
      {"tab\tline\nbreak", "tab\tline\nbreak"},
      {std::string("nul\0bell\x07", 9) + "del\x7f", "nul bell del "},
      {"caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8C\x8D", "caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8C\x8D"},
      {"bad \xC3 end", "bad \xEF\xBF\xBD end"},
      {"overlong \xC0\xBC", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"cut \xE2\x80", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Escape(c.in), c.out) << c.in;
}

TEST(PagesTextTest, UrlEncodeLeavesOnlyUnreservedCharacters) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain-Name_1.2~", "plain-Name_1.2~"},
      {"a b&c=d/e?f#g", "a%20b%26c%3Dd%2Fe%3Ff%23g"},
      {"-120,30,-100,45", "-120%2C30%2C-100%2C45"},
      {"\xC3\xA9\"<", "%C3%A9%22%3C"},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlEncode(c.in), c.out) << c.in;
}

TEST(PagesTextTest, ShortenCutsWholeCharactersAndPrefersSpaces) {
  const struct {
    std::string in;
    std::size_t limit;
    std::string out;
  } cases[] = {
      {"short", 10, "short"},
      {"exactly10!", 10, "exactly10!"},
      {"one two three four", 15, "one two three\xE2\x80\xA6"},
      {"abcdefghijklmnop", 5, "abcde\xE2\x80\xA6"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 2, "\xC3\xA9\xC3\xA9\xE2\x80\xA6"},
      {"", 3, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Shorten(c.in, c.limit), c.out) << c.in;
}

TEST(PagesTextTest, LabelsReadAsWords) {
  const struct {
    const char* name;
    const char* label;
  } cases[] = {
      {"idinfo", "Identification"},
      {"westbc", "West bound"},
      {"gmd:MD_DataIdentification", "Data identification"},
      {"gmd:pointOfContact", "Point of contact"},
      {"gmd:EX_GeographicBoundingBox", "Geographic bounding box"},
      {"gmd:URL", "URL"},
      {"gmd:fileIdentifier", "File identifier"},
      {"some_field-name", "Some field name"},
      {"x", "X"},
  };
  for (const auto& c : cases) EXPECT_EQ(LabelFor(c.name), c.label) << c.name;
}
