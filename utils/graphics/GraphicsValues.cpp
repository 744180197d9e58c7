#include "GraphicsValues.h"

#include "Assert.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

const Colour TRANSPARENT_COLOUR(0, 0, 0, 0);
const Pen NO_PEN(TRANSPARENT_COLOUR, 0.0, 0);

namespace {

struct ColourName {
  const wchar_t* name;
  const wchar_t* value;
};

// Sorted by name without regard to case, for the binary search. Two values
// differ from CSS on purpose (mediumpurple, palevioletred): drawings made
// with the table rely on them.
const ColourName COLOUR_NAMES[] = {
  {L"aliceblue", L"#f0f8ff"}, {L"antiquewhite", L"#faebd7"}, {L"aqua", L"#00ffff"},
  {L"aquamarine", L"#7fffd4"}, {L"azure", L"#f0ffff"}, {L"beige", L"#f5f5dc"},
  {L"bisque", L"#ffe4c4"}, {L"black", L"#000000"}, {L"blanchedalmond", L"#ffebcd"},
  {L"blue", L"#0000ff"}, {L"blueviolet", L"#8a2be2"}, {L"brown", L"#a52a2a"},
  {L"burlywood", L"#deb887"}, {L"cadetblue", L"#5f9ea0"}, {L"chartreuse", L"#7fff00"},
  {L"chocolate", L"#d2691e"}, {L"coral", L"#ff7f50"}, {L"cornflowerblue", L"#6495ed"},
  {L"cornsilk", L"#fff8dc"}, {L"crimson", L"#dc143c"}, {L"cyan", L"#00ffff"},
  {L"darkblue", L"#00008b"}, {L"darkcyan", L"#008b8b"}, {L"darkgoldenrod", L"#b8860b"},
  {L"darkgray", L"#a9a9a9"}, {L"darkgreen", L"#006400"}, {L"darkkhaki", L"#bdb76b"},
  {L"darkmagenta", L"#8b008b"}, {L"darkolivegreen", L"#556b2f"}, {L"darkorange", L"#ff8c00"},
  {L"darkorchid", L"#9932cc"}, {L"darkred", L"#8b0000"}, {L"darksalmon", L"#e9967a"},
  {L"darkseagreen", L"#8fbc8f"}, {L"darkslateblue", L"#483d8b"}, {L"darkslategray", L"#2f4f4f"},
  {L"darkturquoise", L"#00ced1"}, {L"darkviolet", L"#9400d3"}, {L"deeppink", L"#ff1493"},
  {L"deepskyblue", L"#00bfff"}, {L"dimgray", L"#696969"}, {L"dodgerblue", L"#1e90ff"},
  {L"firebrick", L"#b22222"}, {L"floralwhite", L"#fffaf0"}, {L"forestgreen", L"#228b22"},
  {L"fuchsia", L"#ff00ff"}, {L"gainsboro", L"#dcdcdc"}, {L"ghostwhite", L"#f8f8ff"},
  {L"gold", L"#ffd700"}, {L"goldenrod", L"#daa520"}, {L"gray", L"#808080"},
  {L"green", L"#008000"}, {L"greenyellow", L"#adff2f"}, {L"honeydew", L"#f0fff0"},
  {L"hotpink", L"#ff69b4"}, {L"indianred", L"#cd5c5c"}, {L"indigo", L"#4b0082"},
  {L"ivory", L"#fffff0"}, {L"khaki", L"#f0e68c"}, {L"lavender", L"#e6e6fa"},
  {L"lavenderblush", L"#fff0f5"}, {L"lawngreen", L"#7cfc00"}, {L"lemonchiffon", L"#fffacd"},
  {L"lightblue", L"#add8e6"}, {L"lightcoral", L"#f08080"}, {L"lightcyan", L"#e0ffff"},
  {L"lightgoldenrodyellow", L"#fafad2"}, {L"lightgreen", L"#90ee90"}, {L"lightgrey", L"#d3d3d3"},
  {L"lightpink", L"#ffb6c1"}, {L"lightsalmon", L"#ffa07a"}, {L"lightseagreen", L"#20b2aa"},
  {L"lightskyblue", L"#87cefa"}, {L"lightslategray", L"#778899"}, {L"lightsteelblue", L"#b0c4de"},
  {L"lightyellow", L"#ffffe0"}, {L"lime", L"#00ff00"}, {L"limegreen", L"#32cd32"},
  {L"linen", L"#faf0e6"}, {L"magenta", L"#ff00ff"}, {L"maroon", L"#800000"},
  {L"mediumaquamarine", L"#66cdaa"}, {L"mediumblue", L"#0000cd"}, {L"mediumorchid", L"#ba55d3"},
  {L"mediumpurple", L"#9370d8"}, {L"mediumseagreen", L"#3cb371"}, {L"mediumslateblue", L"#7b68ee"},
  {L"mediumspringgreen", L"#00fa9a"}, {L"mediumturquoise", L"#48d1cc"}, {L"mediumvioletred", L"#c71585"},
  {L"midnightblue", L"#191970"}, {L"mintcream", L"#f5fffa"}, {L"mistyrose", L"#ffe4e1"},
  {L"moccasin", L"#ffe4b5"}, {L"navajowhite", L"#ffdead"}, {L"navy", L"#000080"},
  {L"oldlace", L"#fdf5e6"}, {L"olive", L"#808000"}, {L"olivedrab", L"#6b8e23"},
  {L"orange", L"#ffa500"}, {L"orangered", L"#ff4500"}, {L"orchid", L"#da70d6"},
  {L"palegoldenrod", L"#eee8aa"}, {L"palegreen", L"#98fb98"}, {L"paleturquoise", L"#afeeee"},
  {L"palevioletred", L"#d87093"}, {L"papayawhip", L"#ffefd5"}, {L"peachpuff", L"#ffdab9"},
  {L"peru", L"#cd853f"}, {L"pink", L"#ffc0cb"}, {L"plum", L"#dda0dd"},
  {L"powderblue", L"#b0e0e6"}, {L"purple", L"#800080"}, {L"red", L"#ff0000"},
  {L"rosybrown", L"#bc8f8f"}, {L"royalblue", L"#4169e1"}, {L"saddlebrown", L"#8b4513"},
  {L"salmon", L"#fa8072"}, {L"sandybrown", L"#f4a460"}, {L"seagreen", L"#2e8b57"},
  {L"seashell", L"#fff5ee"}, {L"sienna", L"#a0522d"}, {L"silver", L"#c0c0c0"},
  {L"skyblue", L"#87ceeb"}, {L"slateblue", L"#6a5acd"}, {L"slategray", L"#708090"},
  {L"snow", L"#fffafa"}, {L"springgreen", L"#00ff7f"}, {L"steelblue", L"#4682b4"},
  {L"tan", L"#d2b48c"}, {L"teal", L"#008080"}, {L"thistle", L"#d8bfd8"},
  {L"tomato", L"#ff6347"}, {L"turquoise", L"#40e0d0"}, {L"violet", L"#ee82ee"},
  {L"wheat", L"#f5deb3"}, {L"white", L"#ffffff"}, {L"whitesmoke", L"#f5f5f5"},
  {L"yellow", L"#ffff00"}, {L"yellowgreen", L"#9acd32"},
};
const int COLOUR_NAME_COUNT = sizeof(COLOUR_NAMES) / sizeof(COLOUR_NAMES[0]);
static_assert(COLOUR_NAME_COUNT == 140, "the colour-name table has 140 entries");

const Colour BAD_COLOUR(0.5, 0.0, 0.5, 0.5);
const unsigned MAX_NUMBER_CHARS = 31;

int hexDigit(wchar_t c)
{
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'a' && c <= L'f')
    return c - L'a' + 10;
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

// A cursor over colour text; every step either matches and moves on, or
// fails and leaves the position for the caller to reset.
class ColourParser {
public:
  explicit ColourParser(const wchar_t* text) : _text(text), _position(0) {}

  bool parse(Colour& out)
  {
    if (literal(L"#"))
      return hexColour(out);
    double r, g, b, a;
    if (literal(L"rgba(") && number(255, r) && literal(L",") && number(255, g) && literal(L",") &&
        number(255, b) && literal(L",") && number(1.0, a) && literal(L")")) {
      out = Colour(r / 255.0, g / 255.0, b / 255.0, a);
      return true;
    }
    _position = 0;
    if (literal(L"rgb(") && number(255, r) && literal(L",") && number(255, g) && literal(L",") &&
        number(255, b) && literal(L")")) {
      out = Colour(r / 255.0, g / 255.0, b / 255.0, 1.0);
      return true;
    }
    return false;
  }

private:
  bool literal(const wchar_t* text)
  {
    size_t length = wcslen(text);
    if (wcsncmp(_text + _position, text, length) != 0)
      return false;
    _position += length;
    return true;
  }

  bool hexColour(Colour& out)
  {
    unsigned start = _position;
    int channels[3];
    if (!(hexPair(channels[0]) && hexPair(channels[1]) && hexPair(channels[2]))) {
      _position = start;
      if (!(hexSingle(channels[0]) && hexSingle(channels[1]) && hexSingle(channels[2])))
        return false;
    }
    out = Colour(channels[0] / 255.0, channels[1] / 255.0, channels[2] / 255.0, 1.0);
    return true;
  }

  bool hexPair(int& value)
  {
    int high = hexDigit(_text[_position]);
    if (high < 0)
      return false;
    int low = hexDigit(_text[_position + 1]);
    if (low < 0)
      return false;
    value = high * 16 + low;
    _position += 2;
    return true;
  }

  bool hexSingle(int& value)
  {
    int digit = hexDigit(_text[_position]);
    if (digit < 0)
      return false;
    value = digit * 17;
    _position += 1;
    return true;
  }

  void skipSpace()
  {
    while (_text[_position] && iswspace(_text[_position]))
      ++_position;
  }

  static bool isNumberChar(wchar_t c) { return c == L'-' || c == L'.' || (c >= L'0' && c <= L'9'); }

  bool number(double maximum, double& value)
  {
    skipSpace();
    wchar_t collected[MAX_NUMBER_CHARS + 1];
    unsigned count = 0;
    while (isNumberChar(_text[_position])) {
      if (count == MAX_NUMBER_CHARS)
        return false;
      collected[count++] = _text[_position++];
    }
    collected[count] = 0;
    if (count == 0 || swscanf(collected, L"%lg", &value) != 1)
      return false;
    if (_text[_position] == L'%') {
      ++_position;
      value = value / 100.0 * maximum;
    }
    value = std::min(std::max(value, 0.0), maximum);
    skipSpace();
    return true;
  }

  const wchar_t* _text;
  unsigned _position;
};

}

const wchar_t* lookupColourName(const wchar_t* name)
{
  int low = -1, high = COLOUR_NAME_COUNT;
  while (high - low >= 2) {
    int middle = (low + high) / 2;
    int order = _wcsicmp(COLOUR_NAMES[middle].name, name);
    if (order == 0)
      return COLOUR_NAMES[middle].value;
    if (order > 0)
      high = middle;
    else
      low = middle;
  }
  return nullptr;
}

bool Colour::parse(const wchar_t* text)
{
  const wchar_t* given = text ? text : L"";
  const wchar_t* named = lookupColourName(given);
  ColourParser parser(named ? named : given);
  if (parser.parse(*this))
    return true;
  *this = BAD_COLOUR;
  fwprintf(stderr, L"Couldn't convert colour: '%ls'\n", given);
  return false;
}

GraphicsFont::GraphicsFont(const wchar_t* face, double size, int flags) : size(size), flags(flags)
{
  wcsncpy(this->face, face, 32);
  this->face[31] = 0;
}

void Gradient::addStop(double offset, const Colour& colour)
{
  ASSERT(count < MAX_GRADIENT_STOPS);
  stops[count].offset = offset;
  stops[count].colour = colour;
  ++count;
}
