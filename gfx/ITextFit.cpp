#include "gfx/ITextFit.h"

#include "gfx/ISurface.h"

namespace plug::gfx {

namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6"; // U+2026

bool IsContinuation(char c)
{
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the character before pos begins.
std::size_t PreviousCharacter(const std::string& text, std::size_t pos)
{
  while (pos > 0 && IsContinuation(text[--pos]))
  {
  }
  return pos;
}

// Where the character at pos ends.
std::size_t NextCharacter(const std::string& text, std::size_t pos)
{
  ++pos;
  while (pos < text.size() && IsContinuation(text[pos]))
    ++pos;
  return pos;
}

float Width(const ISurface& g, const IText& style, const std::string& text)
{
  IRECT r;
  return g.MeasureText(style, text.c_str(), r);
}

// The longest start of word (at least one character) that fits width.
std::size_t FittingStart(const ISurface& g, const IText& style, const std::string& word, float width)
{
  std::size_t end = NextCharacter(word, 0);
  for (std::size_t next = end; end < word.size(); end = next)
  {
    next = NextCharacter(word, end);
    if (Width(g, style, word.substr(0, next)) > width)
      break;
  }
  return end;
}

} // namespace

std::string EllipsizedToWidth(const ISurface& g, const IText& style, const std::string& text, float width)
{
  if (Width(g, style, text) <= width)
    return text;
  for (std::size_t end = PreviousCharacter(text, text.size()); end > 0; end = PreviousCharacter(text, end))
  {
    const std::string candidate = text.substr(0, end) + kEllipsis;
    if (Width(g, style, candidate) <= width)
      return candidate;
  }
  return "";
}

std::vector<std::string> WrappedToWidth(const ISurface& g, const IText& style, const std::string& text, float width)
{
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size())
  {
    const std::size_t feed = text.find('\n', start);
    const std::string paragraph = text.substr(start, feed == std::string::npos ? std::string::npos : feed - start);
    std::string line;
    std::size_t pos = 0;
    while (pos < paragraph.size())
    {
      const std::size_t blank = paragraph.find(' ', pos);
      std::string word = paragraph.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos);
      pos = blank == std::string::npos ? paragraph.size() : blank + 1;
      if (word.empty())
        continue;
      if (!line.empty() && Width(g, style, line + " " + word) <= width)
      {
        line += " " + word;
        continue;
      }
      if (!line.empty())
        lines.push_back(line);
      while (Width(g, style, word) > width)
      {
        const std::size_t cut = FittingStart(g, style, word, width);
        lines.push_back(word.substr(0, cut));
        word.erase(0, cut);
      }
      line = word;
    }
    if (!line.empty())
      lines.push_back(line);
    if (feed == std::string::npos)
      break;
    start = feed + 1;
  }
  return lines;
}

} // namespace plug::gfx
