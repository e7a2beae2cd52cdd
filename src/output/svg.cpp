#include "output/svg.h"

#include <cstdio>

#include "output/display_text.h"

namespace ramovia {

namespace {

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

const char* anchorName(DrawnText::Anchor a) {
  switch (a) {
    case DrawnText::Anchor::Start:
      return "start";
    case DrawnText::Anchor::Middle:
      return "middle";
    case DrawnText::Anchor::End:
      return "end";
  }
  return "start";
}

}  // namespace

std::string xmlEscape(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r')
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  }
  return out;
}

std::string treeSvg(const TreeDrawing& d, const std::string& title,
                    const std::vector<std::string>& provenance) {
  std::string s;
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(d.width) +
       "\" height=\"" + num(d.height) + "\" viewBox=\"0 0 " + num(d.width) + " " +
       num(d.height) + "\">\n";
  s += "<title>" + xmlEscape(toUtf8(title)) + "</title>\n";
  s += "<metadata id=\"provenance\">\n";
  for (const auto& line : provenance) s += xmlEscape(toUtf8(line)) + "\n";
  s += "</metadata>\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<g stroke=\"black\" stroke-width=\"1.2\" stroke-linecap=\"square\" fill=\"none\">\n";
  for (const auto& l : d.lines)
    s += "<line x1=\"" + num(l.x1) + "\" y1=\"" + num(l.y1) + "\" x2=\"" + num(l.x2) +
         "\" y2=\"" + num(l.y2) + "\"/>\n";
  s += "</g>\n";
  s += "<g font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" fill=\"black\">\n";
  for (const auto& t : d.texts) {
    const char* cls = t.role == DrawnText::Role::Leaf      ? "leaf"
                      : t.role == DrawnText::Role::Support ? "support"
                                                           : "scale";
    s += "<text class=\"" + std::string(cls) + "\" x=\"" + num(t.x) + "\" y=\"" + num(t.y) +
         "\" font-size=\"" + num(t.size) + "\" text-anchor=\"" + anchorName(t.anchor) + "\"";
    if (t.role == DrawnText::Role::Support) s += " fill=\"#1f4e9c\"";
    s += " xml:space=\"preserve\">" + xmlEscape(toUtf8(t.text)) + "</text>\n";
  }
  s += "</g>\n</svg>\n";
  return s;
}

}  // namespace ramovia
