#include "tree/svg.h"

#include <cstdio>

#include "input/text_codec.h"

namespace ramovia {

namespace {

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

const char* AnchorName(DrawnText::Anchor a) {
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

std::string XmlEscape(const std::string& utf8) {
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

std::string TreeSvg(const TreeDrawing& d, const std::string& title,
                    const std::vector<std::string>& provenance) {
  std::string s;
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + Num(d.width) +
       "\" height=\"" + Num(d.height) + "\" viewBox=\"0 0 " + Num(d.width) + " " +
       Num(d.height) + "\">\n";
  s += "<title>" + XmlEscape(ToUtf8(title)) + "</title>\n";
  s += "<metadata id=\"provenance\">\n";
  for (const auto& line : provenance) s += XmlEscape(ToUtf8(line)) + "\n";
  s += "</metadata>\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<g stroke=\"black\" stroke-width=\"1.2\" stroke-linecap=\"square\" fill=\"none\">\n";
  for (const auto& l : d.lines)
    s += "<line x1=\"" + Num(l.x1) + "\" y1=\"" + Num(l.y1) + "\" x2=\"" + Num(l.x2) +
         "\" y2=\"" + Num(l.y2) + "\"/>\n";
  s += "</g>\n";
  s += "<g font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" fill=\"black\">\n";
  for (const auto& t : d.texts) {
    const char* cls = t.role == DrawnText::Role::Leaf      ? "leaf"
                      : t.role == DrawnText::Role::Support ? "support"
                                                           : "scale";
    s += "<text class=\"" + std::string(cls) + "\" x=\"" + Num(t.x) + "\" y=\"" + Num(t.y) +
         "\" font-size=\"" + Num(t.size) + "\" text-anchor=\"" + AnchorName(t.anchor) + "\"";
    if (t.role == DrawnText::Role::Support) s += " fill=\"#1f4e9c\"";
    s += " xml:space=\"preserve\">" + XmlEscape(ToUtf8(t.text)) + "</text>\n";
  }
  s += "</g>\n</svg>\n";
  return s;
}

}  // namespace ramovia
