// Realistic HTML of any size, the same for the same seed: paragraphs with
// attributes and inline tags, indentation, CR LF and LF line ends, centred
// paragraphs, and pre and script blocks.

#ifndef VELMAR_BENCH_HTMLGENERATOR_H_
#define VELMAR_BENCH_HTMLGENERATOR_H_

#include <cstddef>
#include <random>
#include <string>

namespace velmar::bench {

inline std::string GenerateHtml(std::size_t size, unsigned seed = 42) {
  std::mt19937 random(seed);
  static const char* const kWords[] = {"compress", "the",   "page",  "and",   "smaller",
                                       "browser",  "reads", "bytes", "quick", "of"};
  auto words = [&](int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
      if (k > 0) text += random() % 9 == 0 ? "  " : " ";
      text += kWords[random() % 10];
    }
    return text;
  };
  std::string html =
      "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n  <title>Sample</title>\r\n</head>\r\n<body>\r\n";
  while (html.size() < size) {
    const char* eol = random() % 2 ? "\r\n" : "\n";
    switch (random() % 10) {
      case 0:
        html += std::string("  <p align=\"center\">") + words(8) + "</p>" + eol;
        break;
      case 1:
        html +=
            std::string("  <pre class=\"code\">\n    int  x = 1;\n    return  x;\n  </pre>") + eol;
        break;
      case 2:
        html +=
            std::string("  <script type=\"text/javascript\">\n    var a  =  \"b\";\n  </script>") +
            eol;
        break;
      case 3:
        html += std::string("  <ul>") + eol + "    <li><a href=\"page" +
                std::to_string(random() % 100) + ".html\" class=\"nav\">" + words(3) + "</a></li>" +
                eol + "  </ul>" + eol;
        break;
      default:
        html += std::string("  <div class=\"section\" id=\"s") + std::to_string(random() % 1000) +
                "\">" + eol + "    <p>" + words(12) + " <strong>" + words(2) + "</strong> " +
                words(6) + "<em>" + words(1) + "</em>." + eol + "    " + words(10) + "</p>" + eol +
                "    <img src=\"img/a.png\" alt=\"" + words(2) + "\" width=\"10\">" + eol +
                "  </div>" + eol;
    }
  }
  html += "</body>\r\n</html>\r\n";
  return html;
}

}  // namespace velmar::bench

#endif  // VELMAR_BENCH_HTMLGENERATOR_H_
