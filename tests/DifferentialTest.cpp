// The fast engine against the slow reference: every string of a few tokens
// under every option set, then thousands of seeded random documents. Any
// difference is reported with the seed, the options, the input shrunk to a
// small failing case, and the first differing offset.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace velmar::testing {
namespace {

// Pieces that the passes react to, plus ordinary bytes.
const std::vector<std::string>& Tokens() {
  static const std::vector<std::string> tokens = {"<pre>",
                                                  "</pre>",
                                                  "<textarea>",
                                                  "</textarea>",
                                                  "<script>",
                                                  "</script>",
                                                  "<script ",
                                                  "<strong>",
                                                  "</strong>",
                                                  "<em>",
                                                  "</em>",
                                                  "<strike>",
                                                  "</strike>",
                                                  "<p align=center>",
                                                  "<p align=\"center\">",
                                                  "</p>",
                                                  "<!--webbot ",
                                                  "<!--",
                                                  "-->",
                                                  "<a href=\"x\">",
                                                  "value=\"",
                                                  "=\"",
                                                  "=",
                                                  "\"",
                                                  "'",
                                                  "`",
                                                  " ",
                                                  "  ",
                                                  "    ",
                                                  "\r",
                                                  "\n",
                                                  "\r\n",
                                                  "\t",
                                                  "\f",
                                                  "<",
                                                  ">",
                                                  "/",
                                                  "a",
                                                  "b c",
                                                  std::string(1, '\0'),
                                                  "\xff",
                                                  "<style>",
                                                  "</style>",
                                                  "<![CDATA[",
                                                  "]]>",
                                                  "<?",
                                                  "<!",
                                                  "</",
                                                  "<title>",
                                                  "</title",
                                                  "<img src=\"a.gif\" ",
                                                  "alt=\"x y\"",
                                                  "<b class=x>",
                                                  "--",
                                                  "-",
                                                  "!",
                                                  "<em",
                                                  "<strong",
                                                  "<strike",
                                                  "<embed>",
                                                  " class=x>",
                                                  "<STRONG\r\n",
                                                  "<b>",
                                                  "</b>",
                                                  "<br>",
                                                  "<DIV>",
                                                  "</div>",
                                                  "<bdi>",
                                                  "<!DOCTYPE html>",
                                                  "<a title=\"x  y\">",
                                                  "<a title='p\nq'>",
                                                  " t=\"a\r\nb\"",
                                                  "=\"a >\"",
                                                  "\r\n<",
                                                  ">\r\n",
                                                  " >",
                                                  "<a <pre ",
                                                  "x=\"</pre>\"",
                                                  " y=\"p  q\"",
                                                  "='a\n>'",
                                                  "<!--<script>",
                                                  "</script\r",
                                                  "<iframe>",
                                                  "</IFRAME\t",
                                                  "-->"};
  return tokens;
}

// Applies random letter case to the ASCII letters.
std::string RandomCase(std::string text, std::mt19937& random) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z' && random() % 4 == 0) c = static_cast<char>(c - 32);
  }
  return text;
}

std::string Mismatch(std::string_view input, unsigned mask) {
  const std::string fast = EngineCompress(input, mask);
  const std::string slow = ReferenceCompress(input, mask);
  if (fast == slow) return "";
  std::size_t at = 0;
  while (at < fast.size() && at < slow.size() && fast[at] == slow[at]) ++at;
  return "first difference at offset " + std::to_string(at) + "\n  engine:    " + Escaped(fast) +
         "\n  reference: " + Escaped(slow);
}

// Removes bytes from a failing input for as long as it keeps failing.
std::string Shrink(std::string input, unsigned mask) {
  for (std::size_t chunk = input.size() / 2; chunk >= 1; chunk /= 2) {
    for (std::size_t at = 0; at + chunk <= input.size();) {
      std::string smaller = input;
      smaller.erase(at, chunk);
      if (!Mismatch(smaller, mask).empty()) {
        input = smaller;
      } else {
        at += chunk;
      }
    }
  }
  return input;
}

void ExpectSame(std::string_view input, unsigned mask, const std::string& where) {
  const std::string mismatch = Mismatch(input, mask);
  if (mismatch.empty()) return;
  const std::string small = Shrink(std::string(input), mask);
  ADD_FAILURE() << where << ", options " << reference::Options::FromMask(mask).Describe()
                << "\n  input:  " << Escaped(input) << "\n  shrunk: " << Escaped(small) << "\n"
                << Mismatch(small, mask);
}

TEST(DifferentialTest, EveryShortTokenStringUnderEveryOptionSet) {
  const std::vector<std::string> alphabet = {
      "<pre>", "</pre>", "<p align=center>", "</p>",        "\r\n", "\n",  "  ",   " ", "<", ">",
      "\"",    "'",      "a=\"b\"",          "<!--webbot ", "<em",  "<b>", " t=\""};
  std::vector<std::string> strings = {""};
  std::vector<std::string> previous = {""};
  for (int length = 1; length <= 3; ++length) {
    std::vector<std::string> next;
    for (const std::string& s : previous) {
      for (const std::string& t : alphabet) next.push_back(s + t);
    }
    strings.insert(strings.end(), next.begin(), next.end());
    previous = std::move(next);
  }
  int failures = 0;
  for (const std::string& s : strings) {
    for (unsigned mask = 0; mask < 128 && failures < 5; ++mask) {
      if (!Mismatch(s, mask).empty()) {
        ++failures;
        ExpectSame(s, mask, "exhaustive");
      }
    }
  }
}

// The pass table's calls one by one, through the engine's ReplaceAll and
// the other passes, against the reference: the definition Compress's
// grouped scans are held to stays exact itself.
TEST(DifferentialTest, PassTableCallByCall) {
  const auto& tokens = Tokens();
  for (unsigned seed = 1; seed <= 1500; ++seed) {
    std::mt19937 random(seed);
    const std::size_t target = random() % 300;
    std::string input;
    while (input.size() < target) input += RandomCase(tokens[random() % tokens.size()], random);
    const unsigned mask = random() % 2 == 0 ? unsigned{kAll} : unsigned(random() % 128);
    ASSERT_EQ(Escaped(EngineCallByCall(input, mask)), Escaped(ReferenceCompress(input, mask)))
        << "seed " << seed << ", options " << reference::Options::FromMask(mask).Describe()
        << "\n  input: " << Escaped(input);
  }
}

TEST(DifferentialTest, SeededRandomDocuments) {
  const char* seed_text = std::getenv("HTMLCOMPRESS_TEST_SEED");
  const unsigned first_seed =
      seed_text ? static_cast<unsigned>(std::strtoul(seed_text, nullptr, 10)) : 1;
  const auto& tokens = Tokens();
  int failures = 0;
  for (unsigned seed = first_seed; seed < first_seed + 3000 && failures < 5; ++seed) {
    std::mt19937 random(seed);
    const std::size_t target = random() % 4 == 0 ? random() % 4000 : random() % 300;
    std::string input;
    while (input.size() < target) {
      if (random() % 5 == 0) {
        input += static_cast<char>(random() % 256);
      } else {
        input += RandomCase(tokens[random() % tokens.size()], random);
      }
    }
    const unsigned mask = random() % 2 == 0 ? unsigned{kAll} : unsigned(random() % 128);
    if (!Mismatch(input, mask).empty()) {
      ++failures;
      ExpectSame(input, mask, "seed " + std::to_string(seed));
    }
  }
}

// Long pages of tags and text with a line break here and there, as real
// pages are: the scans that skip many bytes at a time get long runs to skip.
TEST(DifferentialTest, LongPagesWithFewLineBreaks) {
  const std::vector<std::string> pieces = {"<p>",
                                           "</p>",
                                           "<a href=x.html>",
                                           "</a>",
                                           "<span class=c>",
                                           "</span>",
                                           "<td>",
                                           "<tr>",
                                           "text ",
                                           "more words ",
                                           "<b>",
                                           "</b>",
                                           "<img src=a.png alt=\"two words\">",
                                           "<a title='x>y'>",
                                           "<p title=\"a > b\">",
                                           "<pre>",
                                           "</pre>",
                                           "<script>",
                                           "</script>",
                                           "<!-- c -->",
                                           "<!--webbot x-->",
                                           "  ",
                                           "\r\n",
                                           "\n",
                                           "\r",
                                           "<strong>",
                                           "</em>",
                                           "<",
                                           ">",
                                           "\"",
                                           "<P ALIGN=CENTER>",
                                           "<textarea>",
                                           "</textarea>"};
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    std::string input;
    const std::size_t target = 2000 + random() % 20000;
    while (input.size() < target) {
      // Rare pieces (line breaks, regions, quotes) one time in eight.
      const std::size_t k = random() % 8 == 0 ? random() % pieces.size() : random() % 12;
      input += RandomCase(pieces[k], random);
    }
    const unsigned mask = seed % 2 == 0 ? unsigned{kAll} : unsigned(random() % 128);
    ExpectSame(input, mask, "long page, seed " + std::to_string(seed));
  }
}

}  // namespace
}  // namespace velmar::testing
