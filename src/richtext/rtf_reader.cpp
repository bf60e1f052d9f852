#include "richtext/rtf_reader.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>
#include <climits>
#include <map>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "richtext/rtf_code_page.h"
#include "richtext/rtf_picture.h"
#include "richtext/rtf_table.h"
#include "richtext/rtf_units.h"

namespace kelvaro {
namespace {

// Deeper groups share the state of the deepest kept one, so memory stays
// bounded whatever the nesting.
constexpr size_t kMaxGroupDepth = 1000;
// Longest control word RTF allows; longer runs of letters are cut.
constexpr int kMaxWordLength = 32;
constexpr int kMaxHalfPoints = 3276;
// What \plain sets: 12 points, as the rich-edit control does.
constexpr int kPlainHalfPoints = 24;
constexpr size_t kMaxTabStops = 64;
// RTF's default tab stops, every half inch unless \deftab says otherwise.
constexpr int kDefaultTabTwips = 720;
constexpr int kMaxUnicodeSkip = 16;

enum class Destination { Text, FontTable, ColorTable, Picture, Skip };

struct CharState {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int vertical = 0;    // 1 superscript, -1 subscript
  int font = -1;       // font table number; -1 none
  int halfPoints = 0;  // 0: the document's own size
  int color = 0;       // colour table index; 0 is the automatic colour
  int highlight = 0;
  bool hidden = false;     // \v: text that is not shown
  bool allCaps = false;    // \caps: shown in capitals
  bool smallCaps = false;  // \scaps: shown in small capitals
};

struct TabStop {
  int twips;  // from the left edge of the text column
  QTextOption::TabType type;
};

struct ParaState {
  Qt::Alignment alignment = Qt::AlignLeft;
  int leftTwips = 0;
  int rightTwips = 0;
  int firstTwips = 0;
  int beforeTwips = 0;
  int afterTwips = 0;
  int lineTwips = 0;          // \sl: 0 single; > 0 at least; < 0 exactly
  bool lineMultiple = false;  // \slmult1: lineTwips is in 240ths of a line
  std::vector<TabStop> tabs;
  QTextOption::TabType nextTabType = QTextOption::LeftTab;
  bool inTable = false;
};

struct GroupState {
  Destination destination = Destination::Text;
  CharState chars;
  ParaState para;
  int unicodeSkip = 1;
  bool listText = false;  // inside \listtext or \pntext
  bool footnote = false;  // inside \footnote: the note's text, kept for the end
};

struct Font {
  QString name;
  int codePage = kWindows1252;
};

enum class Word {
  // destinations
  FontTable, ColorTable, Skipped, ListText, Picture, PictureGroup, InnerRowProperties,
  // document
  Ansi, AnsiCodePage, Mac, Pc, Pca, DefaultFont, DefaultTab, Rtf,
  // font and colour tables
  Charset, CodePage, Red, Green, Blue,
  // characters
  Plain, Bold, Italic, Underline, UnderlineNone, Strike, Super, Sub, NoSuperSub,
  Font, FontSize, ColorForeground, Highlight, Hidden, AllCaps, SmallCaps,
  // paragraphs
  Pard, AlignLeft, AlignCenter, AlignRight, AlignJustify, LeftIndent, RightIndent,
  FirstIndent, SpaceBefore, SpaceAfter, LineSpacing, LineMultiple, TabPosition, TabKind,
  BarTab, InTable, Nesting,
  // pictures
  PictureFormat, PictureWidth, PictureHeight, PictureGoalWidth, PictureGoalHeight,
  PictureScaleX, PictureScaleY,
  // tables
  RowDefaults, RowLeft, RowAlign, CellGap, RowPadding, CellPadding, BorderTarget, BorderStyle,
  BorderWidth, BorderColor, CellEdge,
  // text
  Par, Line, Tab, Cell, Row, NestedCell, NestedRow, Unicode, UnicodeSkip, Bin, Character,
  Footnote, FootnoteMark,
};

struct WordInfo {
  Word word;
  char16_t character = 0;  // for Word::Character
  int value = 0;           // the variant of words that share a meaning
};

void AddPictureWords(std::unordered_map<std::string_view, WordInfo>& w) {
  using Format = RtfPicture::Format;
  w["pngblip"] = {Word::PictureFormat, 0, static_cast<int>(Format::Png)};
  w["jpegblip"] = {Word::PictureFormat, 0, static_cast<int>(Format::Jpeg)};
  for (auto name : {"wmetafile", "emfblip", "macpict", "pmmetafile", "dibitmap", "wbitmap"}) {
    w[name] = {Word::PictureFormat, 0, static_cast<int>(Format::Undrawable)};
  }
  w["picw"] = {Word::PictureWidth};
  w["pich"] = {Word::PictureHeight};
  w["picwgoal"] = {Word::PictureGoalWidth};
  w["pichgoal"] = {Word::PictureGoalHeight};
  w["picscalex"] = {Word::PictureScaleX};
  w["picscaley"] = {Word::PictureScaleY};
}

void AddTableWords(std::unordered_map<std::string_view, WordInfo>& w) {
  using Side = RtfTable::Side;
  using Target = RtfTable::BorderTarget;
  w["trowd"] = {Word::RowDefaults};
  w["trleft"] = {Word::RowLeft};
  w["trql"] = {Word::RowAlign, 0, Qt::AlignLeft};
  w["trqc"] = {Word::RowAlign, 0, Qt::AlignHCenter};
  w["trqr"] = {Word::RowAlign, 0, Qt::AlignRight};
  w["trgaph"] = {Word::CellGap};
  const std::tuple<const char*, const char*, Side> paddings[] = {{"trpaddt", "clpadt", Side::Top},
                                                                 {"trpaddl", "clpadl", Side::Left},
                                                                 {"trpaddb", "clpadb", Side::Bottom},
                                                                 {"trpaddr", "clpadr", Side::Right}};
  for (const auto& [row, cell, side] : paddings) {
    w[row] = {Word::RowPadding, 0, static_cast<int>(side)};
    w[cell] = {Word::CellPadding, 0, static_cast<int>(side)};
  }
  const std::pair<const char*, Target> targets[] = {
      {"clbrdrt", Target::CellTop},   {"clbrdrl", Target::CellLeft},  {"clbrdrb", Target::CellBottom},
      {"clbrdrr", Target::CellRight}, {"trbrdrt", Target::RowTop},    {"trbrdrl", Target::RowLeft},
      {"trbrdrb", Target::RowBottom}, {"trbrdrr", Target::RowRight},  {"trbrdrh", Target::RowInsideH},
      {"trbrdrv", Target::RowInsideV}};
  for (const auto& [name, target] : targets) w[name] = {Word::BorderTarget, 0, static_cast<int>(target)};
  for (auto name : {"brdrs", "brdrth", "brdrsh", "brdrhair", "brdrtriple", "brdrengrave", "brdremboss"}) {
    w[name] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_Solid};
  }
  w["brdrdb"] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_Double};
  w["brdrdot"] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_Dotted};
  w["brdrdash"] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_Dashed};
  w["brdrdashsm"] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_Dashed};
  for (auto name : {"brdrnone", "brdrnil", "brdrtbl"}) {
    w[name] = {Word::BorderStyle, 0, QTextFrameFormat::BorderStyle_None};
  }
  w["brdrw"] = {Word::BorderWidth};
  w["brdrcf"] = {Word::BorderColor};
  w["cellx"] = {Word::CellEdge};
}

const std::unordered_map<std::string_view, WordInfo>& Words() {
  static const std::unordered_map<std::string_view, WordInfo> words = [] {
    std::unordered_map<std::string_view, WordInfo> w;
    for (auto name : {"info", "stylesheet", "header", "headerl", "headerr", "headerf",
                      "footer", "footerl", "footerr", "footerf", "object", "objdata",
                      "listtable", "listoverridetable", "revtbl", "rsidtbl", "xmlnstbl", "filetbl",
                      "pn", "themedata", "colorschememapping", "datastore", "latentstyles",
                      "fldinst", "template", "nonshppict", "generator", "userprops", "pgdsctbl",
                      "xe", "tc", "txe", "private", "annotation", "atnid", "atnauthor",
                      // The flat text of an inner table's row, for readers that know no
                      // inner tables: its cells are shown here, so it would show them twice.
                      "nonesttables"}) {
      w[name] = {Word::Skipped};
    }
    w["fonttbl"] = {Word::FontTable};
    w["footnote"] = {Word::Footnote};
    w["chftn"] = {Word::FootnoteMark};
    w["listtext"] = {Word::ListText};
    w["pntext"] = {Word::ListText};
    w["pict"] = {Word::Picture};
    w["shppict"] = {Word::PictureGroup};  // the picture, where \nonshppict is its stand-in
    w["colortbl"] = {Word::ColorTable};
    w["rtf"] = {Word::Rtf};
    w["ansi"] = {Word::Ansi};
    w["ansicpg"] = {Word::AnsiCodePage};
    w["mac"] = {Word::Mac};
    w["pc"] = {Word::Pc};
    w["pca"] = {Word::Pca};
    w["deff"] = {Word::DefaultFont};
    w["deftab"] = {Word::DefaultTab};
    w["fcharset"] = {Word::Charset};
    w["cpg"] = {Word::CodePage};
    w["red"] = {Word::Red};
    w["green"] = {Word::Green};
    w["blue"] = {Word::Blue};
    w["plain"] = {Word::Plain};
    w["b"] = {Word::Bold};
    w["i"] = {Word::Italic};
    for (auto name : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulth",
                      "ulw", "ulwave", "ulthd", "ulthdash"}) {
      w[name] = {Word::Underline};
    }
    w["ulnone"] = {Word::UnderlineNone};
    w["strike"] = {Word::Strike};
    w["v"] = {Word::Hidden};
    w["caps"] = {Word::AllCaps};
    w["scaps"] = {Word::SmallCaps};
    w["super"] = {Word::Super};
    w["sub"] = {Word::Sub};
    w["nosupersub"] = {Word::NoSuperSub};
    w["f"] = {Word::Font};
    w["fs"] = {Word::FontSize};
    w["cf"] = {Word::ColorForeground};
    w["highlight"] = {Word::Highlight};
    w["cb"] = {Word::Highlight};
    w["pard"] = {Word::Pard};
    w["ql"] = {Word::AlignLeft};
    w["qc"] = {Word::AlignCenter};
    w["qr"] = {Word::AlignRight};
    w["qj"] = {Word::AlignJustify};
    w["li"] = {Word::LeftIndent};
    w["ri"] = {Word::RightIndent};
    w["fi"] = {Word::FirstIndent};
    w["sb"] = {Word::SpaceBefore};
    w["sa"] = {Word::SpaceAfter};
    w["sl"] = {Word::LineSpacing};
    w["slmult"] = {Word::LineMultiple};
    w["tx"] = {Word::TabPosition};
    w["tqr"] = {Word::TabKind, 0, QTextOption::RightTab};
    w["tqc"] = {Word::TabKind, 0, QTextOption::CenterTab};
    w["tqdec"] = {Word::TabKind, 0, QTextOption::DelimiterTab};
    w["tb"] = {Word::BarTab};
    w["intbl"] = {Word::InTable};
    w["itap"] = {Word::Nesting};
    w["nesttableprops"] = {Word::InnerRowProperties};
    AddPictureWords(w);
    AddTableWords(w);
    for (auto name : {"par", "sect", "page"}) w[name] = {Word::Par};
    w["row"] = {Word::Row};
    w["line"] = {Word::Line};
    w["tab"] = {Word::Tab};
    w["cell"] = {Word::Cell};
    w["nestcell"] = {Word::NestedCell};
    w["nestrow"] = {Word::NestedRow};
    w["u"] = {Word::Unicode};
    w["uc"] = {Word::UnicodeSkip};
    w["bin"] = {Word::Bin};
    w["emdash"] = {Word::Character, 0x2014};
    w["endash"] = {Word::Character, 0x2013};
    w["bullet"] = {Word::Character, 0x2022};
    w["lquote"] = {Word::Character, 0x2018};
    w["rquote"] = {Word::Character, 0x2019};
    w["ldblquote"] = {Word::Character, 0x201C};
    w["rdblquote"] = {Word::Character, 0x201D};
    w["emspace"] = {Word::Character, 0x2003};
    w["enspace"] = {Word::Character, 0x2002};
    w["qmspace"] = {Word::Character, 0x2005};
    return w;
  }();
  return words;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Replaces UTF-16 surrogates that are not part of a pair, which \u can
// produce, so the document never holds broken text.
void RepairSurrogates(QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      ++i;
    } else if (c.isSurrogate()) {
      text[i] = QChar::ReplacementCharacter;
    }
  }
}

// The Symbol font's character of code (its own encoding, as Word writes it
// at U+F000 + code) in Unicode; 0 for the pieces of large brackets and
// extenders, which have none.
char16_t SymbolCharacter(int code) {
  static const char16_t kUpper[] = {  // 0x20 to 0x7E
      0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
      0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
      0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
      0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
      0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
      0x2234, 0x005D, 0x22A5, 0x005F, 0x0000, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
      0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
      0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C};
  static const char16_t kHigh[] = {  // 0xA0 to 0xFF
      0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
      0x2190, 0x2191, 0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
      0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x0000, 0x0000, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118,
      0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
      0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
      0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x0000, 0x0000,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x232A, 0x222B, 0x0000,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000};
  static_assert(sizeof kUpper / sizeof kUpper[0] == 0x7F - 0x20);
  static_assert(sizeof kHigh / sizeof kHigh[0] == 0x100 - 0xA0);
  if (code >= 0x20 && code < 0x7F) return kUpper[code - 0x20];
  if (code >= 0xA0 && code <= 0xFF) return kHigh[code - 0xA0];
  return 0;
}

class RtfParser {
 public:
  RtfParser(const QByteArray& input, QTextDocument* document)
      : in_(input), cursor_(document) {}

  int defaultTabTwips() const { return defaultTabTwips_; }
  bool hasFrames() const { return hasFrames_; }

  void Run() {
    // White space before the document is not part of it.
    while (pos_ < in_.size() && in_[pos_] != '{') ++pos_;
    while (pos_ < in_.size() && !finished_) Step();
    FlushText();
    // The last paragraph has no \par: it keeps the formatting its text was
    // read with, even when the groups that set it have closed since.
    ApplyParagraphFormat(blockHasText_ ? lastTextPara_ : st_.para);
    AddFootnotes();
  }

 private:
  // --- Reading ---------------------------------------------------------------

  void Step() {
    const char c = in_[pos_];
    switch (c) {
      case '{': ++pos_; BeginGroup(); break;
      case '}': ++pos_; EndGroup(); break;
      case '\\': ++pos_; ReadControl(); break;
      case '\r':
      case '\n': ++pos_; break;  // line ends in the file are not text
      default: ++pos_; TextByte(c); break;
    }
  }

  void ReadControl() {
    if (pos_ >= in_.size()) return;
    if (!IsLetter(in_[pos_])) {
      ControlSymbol(in_[pos_++]);
      return;
    }
    const qsizetype start = pos_;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
    const std::string_view name(in_.constData() + start,
                                std::min<qsizetype>(pos_ - start, kMaxWordLength));
    bool hasParam = false;
    int param = ReadParameter(&hasParam);
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
    ControlWord(name, hasParam, param);
  }

  // Reads an optional signed number, clamping what int cannot hold.
  int ReadParameter(bool* hasParam) {
    bool negative = false;
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    long long value = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      *hasParam = true;
      value = std::min(value * 10 + (in_[pos_] - '0'), 1LL << 31);
      ++pos_;
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  }

  // --- Groups ----------------------------------------------------------------

  void BeginGroup() {
    FlushText();
    pendingSkip_ = 0;
    optional_ = false;
    if (stack_.size() < kMaxGroupDepth) {
      stack_.push_back(st_);
    } else {
      ++overflowDepth_;
    }
  }

  void EndGroup() {
    FlushText();
    pendingSkip_ = 0;
    optional_ = false;
    if (st_.destination == Destination::FontTable) FinishFont();
    if (overflowDepth_ > 0) {
      --overflowDepth_;
      return;
    }
    if (stack_.empty()) {  // a closing brace with no group open: the document ended
      finished_ = true;
      return;
    }
    const bool closesPicture = st_.destination == Destination::Picture;
    const bool closesListText = st_.listText;
    st_ = stack_.back();
    stack_.pop_back();
    if (closesPicture && st_.destination != Destination::Picture) FinishPicture();
    if (closesListText && !st_.listText) FinishListText();
    // The outermost group closed: what follows it is not part of the document.
    if (stack_.empty()) finished_ = true;
  }

  // --- Control symbols and words ---------------------------------------------

  void ControlSymbol(char c) {
    switch (c) {
      case '\'': HexByte(); return;
      case '\\':
      case '{':
      case '}': TextByte(c); return;
      case '*':  // an optional destination: skipped unless we know its word
        FlushText();
        optional_ = true;
        return;
      case '~': AddCharacter(QChar(0x00A0)); return;
      case '_': AddCharacter(QChar(0x2011)); return;
      case '\r':
      case '\n': ControlWord("par", false, 0); return;
      case '\t': ControlWord("tab", false, 0); return;
      default: return;  // "\-" (optional hyphen) and unknown symbols
    }
  }

  void HexByte() {
    if (pos_ + 1 >= in_.size()) {
      pos_ = in_.size();
      return;
    }
    const int high = HexValue(in_[pos_]);
    const int low = HexValue(in_[pos_ + 1]);
    if (high < 0 || low < 0) return;  // not a byte: the characters are read as text
    pos_ += 2;
    TextByte(static_cast<char>(high * 16 + low));
  }

  void ControlWord(std::string_view name, bool hasParam, int param) {
    const auto& words = Words();
    const auto it = words.find(name);
    const bool optional = std::exchange(optional_, false);
    if (it == words.end() || (optional && !IsReadDestination(it->second.word))) {
      // Unknown words are ignored; an optional destination we do not read
      // is skipped whole.
      if (optional) st_.destination = Destination::Skip;
      return;
    }
    const WordInfo& info = it->second;
    const Word word = info.word;
    if (word == Word::Bin) return ReadBinary(hasParam ? param : 0);
    if (st_.destination == Destination::Skip) return;
    // A character does not change the formatting; keeping it in the pending
    // text also keeps the two halves of a surrogate pair together.
    if (word == Word::Unicode) return UnicodeCharacter(param);
    FlushText();
    if (DestinationWord(word) || DocumentWord(word, param) || FontColorTableWord(word, hasParam, param) ||
        CharacterWord(word, hasParam, param) || ParagraphWord(info, param) || PictureWord(info, param) ||
        RowDefinitionWord(info, param)) {
      return;
    }
    TextWord(word, info.character);
  }

  static bool IsReadDestination(Word word) {
    switch (word) {
      case Word::FontTable:
      case Word::ColorTable:
      case Word::ListText:
      case Word::Picture:
      case Word::PictureGroup:
      case Word::InnerRowProperties: return true;
      default: return false;
    }
  }

  bool DestinationWord(Word word) {
    switch (word) {
      case Word::ListText:
        if (st_.destination != Destination::Text) return true;
        if (st_.footnote) {
          st_.destination = Destination::Skip;
          return true;
        }
        PlaceCursor();
        st_.listText = true;
        listTextStart_ = cursor_.position();
        return true;
      case Word::Picture:
        // The notes are kept as text: a picture in one is left out.
        if (st_.footnote) {
          st_.destination = Destination::Skip;
          return true;
        }
        st_.destination = Destination::Picture;
        picture_ = RtfPicture();
        pictureNibble_ = -1;
        return true;
      case Word::PictureGroup: return true;
      // An inner row's definition (with its \nestrow) follows its cells: the
      // row has ended. The definition itself is not read, so it leaves the
      // outer table's alone.
      case Word::InnerRowProperties:
        if (st_.destination == Destination::Text && !st_.footnote) EndInnerRow();
        st_.destination = Destination::Skip;
        return true;
      case Word::Footnote:
        // A note inside a note (damaged input) goes on with the same note.
        if (st_.destination != Destination::Text || st_.footnote) return true;
        st_.footnote = true;
        footnotes_.append(QString());
        return true;
      case Word::FontTable: st_.destination = Destination::FontTable; return true;
      case Word::ColorTable:
        st_.destination = Destination::ColorTable;
        colors_.clear();
        ResetColor();
        return true;
      case Word::Skipped: st_.destination = Destination::Skip; return true;
      default: return false;
    }
  }

  bool DocumentWord(Word word, int param) {
    switch (word) {
      case Word::Rtf: return true;
      case Word::Ansi: documentCodePage_ = kWindows1252; return true;
      case Word::Mac: documentCodePage_ = 10000; return true;
      case Word::Pc: documentCodePage_ = 437; return true;
      case Word::Pca: documentCodePage_ = 850; return true;
      case Word::AnsiCodePage:
        if (IsKnownCodePage(param)) documentCodePage_ = param;
        return true;
      case Word::DefaultFont:
        defaultFont_ = param;
        st_.chars.font = param;
        return true;
      case Word::DefaultTab:
        if (param > 0) defaultTabTwips_ = std::min(param, kMaxTwips);
        return true;
      default: return false;
    }
  }

  // Words of the font and colour tables.
  bool FontColorTableWord(Word word, bool hasParam, int param) {
    const int component = std::clamp(param, 0, 255);
    switch (word) {
      case Word::Charset: definition_.charset = param; return true;
      case Word::CodePage: definition_.codePage = param; return true;
      case Word::Red: color_.setRed(component); colorGiven_ = true; return true;
      case Word::Green: color_.setGreen(component); colorGiven_ = true; return true;
      case Word::Blue: color_.setBlue(component); colorGiven_ = true; return true;
      case Word::Font:
        if (st_.destination != Destination::FontTable) return false;
        FinishFont();
        definition_.number = hasParam ? param : -1;
        return true;
      default: return false;
    }
  }

  bool CharacterWord(Word word, bool hasParam, int param) {
    CharState& c = st_.chars;
    const bool on = !hasParam || param != 0;  // "\b" and "\b1" switch on, "\b0" off
    switch (word) {
      case Word::Plain:
        c = CharState();
        c.font = defaultFont_;
        c.halfPoints = kPlainHalfPoints;
        return true;
      case Word::Bold: c.bold = on; return true;
      case Word::Italic: c.italic = on; return true;
      case Word::Underline: c.underline = on; return true;
      case Word::UnderlineNone: c.underline = false; return true;
      case Word::Strike: c.strike = on; return true;
      case Word::Hidden: c.hidden = on; return true;
      case Word::AllCaps: c.allCaps = on; return true;
      case Word::SmallCaps: c.smallCaps = on; return true;
      case Word::Super: c.vertical = 1; return true;
      case Word::Sub: c.vertical = -1; return true;
      case Word::NoSuperSub: c.vertical = 0; return true;
      case Word::Font: c.font = param; return true;
      case Word::FontSize: c.halfPoints = std::clamp(param, 0, kMaxHalfPoints); return true;
      case Word::ColorForeground: c.color = std::max(param, 0); return true;
      case Word::Highlight: c.highlight = std::max(param, 0); return true;
      case Word::UnicodeSkip: st_.unicodeSkip = std::clamp(param, 0, kMaxUnicodeSkip); return true;
      default: return false;
    }
  }

  bool ParagraphWord(const WordInfo& info, int param) {
    ParaState& p = st_.para;
    const int twips = std::clamp(param, -kMaxTwips, kMaxTwips);
    switch (info.word) {
      case Word::Pard: p = ParaState(); return true;
      case Word::AlignLeft: p.alignment = Qt::AlignLeft; return true;
      case Word::AlignCenter: p.alignment = Qt::AlignHCenter; return true;
      case Word::AlignRight: p.alignment = Qt::AlignRight; return true;
      case Word::AlignJustify: p.alignment = Qt::AlignJustify; return true;
      case Word::LeftIndent: p.leftTwips = twips; return true;
      case Word::RightIndent: p.rightTwips = twips; return true;
      case Word::FirstIndent: p.firstTwips = twips; return true;
      case Word::SpaceBefore: p.beforeTwips = std::max(twips, 0); return true;
      case Word::SpaceAfter: p.afterTwips = std::max(twips, 0); return true;
      case Word::LineSpacing: p.lineTwips = twips; return true;
      case Word::LineMultiple: p.lineMultiple = param != 0; return true;
      case Word::TabKind: p.nextTabType = static_cast<QTextOption::TabType>(info.value); return true;
      case Word::TabPosition:
        if (p.tabs.size() < kMaxTabStops) p.tabs.push_back({std::max(twips, 0), p.nextTabType});
        p.nextTabType = QTextOption::LeftTab;
        return true;
      case Word::BarTab: p.nextTabType = QTextOption::LeftTab; return true;  // a line, not a stop
      case Word::InTable: p.inTable = true; return true;
      // \itapN: a paragraph of the table at level N; its inner tables'
      // cells are shown in the outermost table's cell.
      case Word::Nesting: p.inTable = param > 0; return true;
      default: return false;
    }
  }

  bool PictureWord(const WordInfo& info, int param) {
    if (st_.destination != Destination::Picture) return false;
    const int size = std::clamp(param, 0, INT_MAX / 2);
    switch (info.word) {
      case Word::PictureFormat: picture_.format = static_cast<RtfPicture::Format>(info.value); return true;
      case Word::PictureWidth: picture_.pixelWidth = size; return true;
      case Word::PictureHeight: picture_.pixelHeight = size; return true;
      case Word::PictureGoalWidth: picture_.goalWidth = size; return true;
      case Word::PictureGoalHeight: picture_.goalHeight = size; return true;
      case Word::PictureScaleX: picture_.scaleX = std::clamp(param, 1, 1000); return true;
      case Word::PictureScaleY: picture_.scaleY = std::clamp(param, 1, 1000); return true;
      default: return true;  // other words inside a picture say nothing about the text
    }
  }

  bool RowDefinitionWord(const WordInfo& info, int param) {
    using Side = RtfTable::Side;
    switch (info.word) {
      case Word::RowDefaults: table_.DefineRow(); return true;
      case Word::RowLeft: table_.SetRowLeft(param); return true;
      case Word::RowAlign: table_.SetRowAlignment(static_cast<Qt::Alignment>(info.value)); return true;
      case Word::CellGap: table_.SetCellGap(param); return true;
      case Word::RowPadding: table_.SetRowPadding(static_cast<Side>(info.value), param); return true;
      case Word::CellPadding: table_.SetCellPadding(static_cast<Side>(info.value), param); return true;
      case Word::BorderTarget:
        table_.SelectBorder(static_cast<RtfTable::BorderTarget>(info.value));
        return true;
      case Word::BorderStyle:
        table_.SetBorderStyle(static_cast<QTextFrameFormat::BorderStyle>(info.value));
        return true;
      case Word::BorderWidth: table_.SetBorderWidth(param); return true;
      case Word::BorderColor:
        table_.SetBorderColor(TableColor(param) ? *TableColor(param) : QColor());
        return true;
      case Word::CellEdge: table_.EndCellDefinition(param); return true;
      default: return false;
    }
  }

  void TextWord(Word word, char16_t character) {
    if (st_.destination != Destination::Text) return;
    if (st_.footnote) return FootnoteWord(word, character);
    switch (word) {
      case Word::Par: NewParagraph(); return;
      case Word::Line: AddCharacter(QChar::LineSeparator); return;
      case Word::Tab: AddCharacter(QChar('\t')); return;
      case Word::Cell: EndCell(); return;
      case Word::Row: table_.EndRow(); return;
      // Tables inside a table are not laid out: their cells are shown in
      // order, apart, each row a paragraph.
      case Word::NestedCell: AddCharacter(QChar(' ')); return;
      case Word::NestedRow: EndInnerRow(); return;
      case Word::FootnoteMark: AddText(QString::number(footnotes_.size() + 1)); return;
      case Word::Character: AddCharacter(QChar(character)); return;
      default: return;
    }
  }

  // Inside a note, whose text is kept whole for the end of the document:
  // its breaks are spaces, its own mark is the number put before it there.
  void FootnoteWord(Word word, char16_t character) {
    switch (word) {
      case Word::Par:
      case Word::Line:
      case Word::Tab:
      case Word::Cell:
      case Word::Row:
      case Word::NestedCell:
      case Word::NestedRow: AddCharacter(QChar(' ')); return;
      case Word::Character: AddCharacter(QChar(character)); return;
      default: return;
    }
  }

  // \uN: N is a signed 16-bit number; the N characters that follow are the
  // fallback for readers without Unicode and are skipped.
  void UnicodeCharacter(int param) {
    if (st_.destination != Destination::Text) return;
    const int code = param < 0 ? param + 65536 : param;
    pendingSkip_ = st_.unicodeSkip;
    // The Symbol font's characters, as Word writes them, in the private use
    // area: their Unicode characters, or nothing where there is none.
    if (code >= 0xF020 && code <= 0xF0FF && CurrentFontIsSymbol()) {
      if (const char16_t mapped = SymbolCharacter(code & 0xFF)) AddCharacter(QChar(mapped));
      return;
    }
    if (code >= 0 && code <= 0xFFFF) AddCharacter(QChar(static_cast<char16_t>(code)));
  }

  bool CurrentFontIsSymbol() const {
    const auto it = fonts_.find(st_.chars.font);
    return it != fonts_.end() && it->second.name.trimmed().compare(QStringLiteral("Symbol"), Qt::CaseInsensitive) == 0;
  }

  // \binN: N bytes of binary data, a picture's when inside one.
  void ReadBinary(int count) {
    FlushText();
    const qsizetype size = std::clamp<qsizetype>(count, 0, in_.size() - pos_);
    if (st_.destination == Destination::Picture) AddPictureBytes(in_.mid(pos_, size));
    pos_ += size;
  }

  // --- Text ------------------------------------------------------------------

  void TextByte(char byte) {
    if (std::exchange(optional_, false)) st_.destination = Destination::Skip;
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    switch (st_.destination) {
      case Destination::Text:
        if (static_cast<unsigned char>(byte) < 0x20 && byte != '\t') return;
        if (bytesCodePage_ != CurrentCodePage()) DecodeBytes();
        bytesCodePage_ = CurrentCodePage();
        bytes_.append(byte);
        return;
      case Destination::FontTable:
        if (byte == ';') {
          FinishFont();
        } else {
          definition_.name.append(byte);
        }
        return;
      case Destination::ColorTable:
        if (byte == ';') FinishColor();
        return;
      case Destination::Picture:
        PictureHexDigit(byte);
        return;
      case Destination::Skip:
        return;
    }
  }

  void AddText(const QString& text) {
    for (QChar c : text) AddCharacter(c);
  }

  void AddCharacter(QChar c) {
    if (st_.destination != Destination::Text) return;
    if (c.unicode() < 0x20 && c != QChar('\t')) return;
    DecodeBytes();
    run_.append(c);
  }

  int CurrentCodePage() const {
    const auto it = fonts_.find(st_.chars.font);
    return it == fonts_.end() ? documentCodePage_ : it->second.codePage;
  }

  void DecodeBytes() {
    if (bytes_.isEmpty()) return;
    run_ += DecodeCodePage(bytes_, bytesCodePage_);
    bytes_.clear();
  }

  // Inserts the text read so far with the formatting it was read with.
  void FlushText() {
    DecodeBytes();
    if (run_.isEmpty()) return;
    RepairSurrogates(run_);
    if (st_.chars.allCaps) run_ = run_.toUpper();
    // Hidden text is not shown.
    if (st_.chars.hidden) {
      run_.clear();
      return;
    }
    if (st_.footnote) {
      footnotes_.back() += run_;
      run_.clear();
      return;
    }
    PlaceCursor();
    cursor_.insertText(run_, CharFormat());
    run_.clear();
    blockHasText_ = true;
    lastTextPara_ = st_.para;
  }

  QTextCharFormat CharFormat() const {
    const CharState& c = st_.chars;
    QTextCharFormat format;
    format.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(c.italic);
    format.setFontUnderline(c.underline);
    format.setFontStrikeOut(c.strike);
    if (c.vertical != 0) {
      format.setVerticalAlignment(c.vertical > 0 ? QTextCharFormat::AlignSuperScript
                                                 : QTextCharFormat::AlignSubScript);
    }
    const auto font = fonts_.find(c.font);
    if (font != fonts_.end() && !font->second.name.isEmpty()) {
      format.setFontFamilies(QStringList{font->second.name});
    }
    if (c.halfPoints > 0) format.setFontPointSize(c.halfPoints / 2.0);
    if (c.smallCaps) format.setFontCapitalization(QFont::SmallCaps);
    if (const QColor* color = TableColor(c.color)) format.setForeground(*color);
    if (const QColor* color = TableColor(c.highlight)) format.setBackground(*color);
    return format;
  }

  // The colour of a table index, or null for the automatic colour.
  const QColor* TableColor(int index) const {
    if (index <= 0 || index >= static_cast<int>(colors_.size())) return nullptr;
    return colors_[index].isValid() ? &colors_[index] : nullptr;
  }

  // Moves the cursor where the paragraph being read belongs: into the
  // table's current cell for a paragraph of a table, after the table for
  // the first one outside it.
  void PlaceCursor() {
    if (st_.para.inTable) {
      table_.EnterCell(cursor_);
    } else if (table_.active()) {
      table_.Leave(cursor_);
    }
  }

  // The end of an inner table's row: the next row starts a paragraph of its
  // own.
  void EndInnerRow() {
    FlushText();
    if (blockHasText_) NewParagraph();
  }

  void NewParagraph() {
    FlushText();
    PlaceCursor();
    ApplyParagraphFormat(st_.para);
    cursor_.insertBlock();
    blockHasText_ = false;
  }

  // \cell ends the cell's last paragraph and the cell.
  void EndCell() {
    FlushText();
    table_.EnterCell(cursor_);
    ApplyParagraphFormat(st_.para);
    table_.EndCell(cursor_);
    blockHasText_ = false;
  }

  void ApplyParagraphFormat(const ParaState& p) {
    QTextBlockFormat format;
    format.setAlignment(p.alignment);
    format.setLeftMargin(TwipsToPixels(p.leftTwips));
    format.setRightMargin(TwipsToPixels(p.rightTwips));
    format.setTextIndent(TwipsToPixels(p.firstTwips));
    format.setTopMargin(TwipsToPixels(p.beforeTwips));
    format.setBottomMargin(TwipsToPixels(p.afterTwips));
    SetLineHeight(p, &format);
    format.setTabPositions(TabPositions(p));
    cursor_.setBlockFormat(format);
  }

  static void SetLineHeight(const ParaState& p, QTextBlockFormat* format) {
    if (p.lineTwips == 0) return;
    if (p.lineMultiple) {
      // In 240ths of a single line; a negative multiple means the same.
      const double percent = std::abs(p.lineTwips) * 100.0 / 240.0;
      format->setLineHeight(std::clamp(percent, 10.0, 1000.0), QTextBlockFormat::ProportionalHeight);
    } else if (p.lineTwips > 0) {
      format->setLineHeight(TwipsToPixels(p.lineTwips), QTextBlockFormat::MinimumHeight);
    } else {
      format->setLineHeight(TwipsToPixels(-p.lineTwips), QTextBlockFormat::FixedHeight);
    }
  }

  // RTF measures tab stops from the text column's left edge; Qt measures
  // them from where the line starts, so they are given relative to the
  // paragraph's first line, the line list texts and tabbed columns sit on.
  // A hanging indent is a stop too: the text after a list text's tab starts
  // on it.
  static QList<QTextOption::Tab> TabPositions(const ParaState& p) {
    std::vector<TabStop> stops = p.tabs;
    if (p.firstTwips < 0) stops.push_back({p.leftTwips, QTextOption::LeftTab});
    std::sort(stops.begin(), stops.end(), [](const TabStop& a, const TabStop& b) { return a.twips < b.twips; });
    const int lineStart = p.leftTwips + p.firstTwips;
    QList<QTextOption::Tab> tabs;
    for (const TabStop& stop : stops) {
      if (stop.twips <= lineStart) continue;
      if (!tabs.isEmpty() && TwipsToPixels(stop.twips - lineStart) <= tabs.last().position) continue;
      // Decimal stops align on the decimal comma of the French texts.
      const QChar delimiter = stop.type == QTextOption::DelimiterTab ? QChar(',') : QChar();
      tabs.append(QTextOption::Tab(TwipsToPixels(stop.twips - lineStart), stop.type, delimiter));
    }
    return tabs;
  }

  // --- List texts ------------------------------------------------------------

  // A list text that shows nothing (a numbering without number, only its
  // tab) is left out: it would push the paragraph to the next tab stop.
  // The notes after the document's last paragraph, one paragraph each,
  // numbered as their marks.
  void AddFootnotes() {
    if (footnotes_.isEmpty()) return;
    if (table_.active()) table_.Leave(cursor_);
    cursor_.movePosition(QTextCursor::End);
    for (qsizetype i = 0; i < footnotes_.size(); ++i) {
      cursor_.insertBlock(QTextBlockFormat(), QTextCharFormat());
      cursor_.insertText(QString::number(i + 1) + QLatin1Char(' ') + footnotes_[i].simplified(), QTextCharFormat());
    }
  }

  void FinishListText() {
    QTextCursor listText(cursor_);
    listText.setPosition(std::min(listTextStart_, cursor_.position()), QTextCursor::KeepAnchor);
    if (listText.selectedText().trimmed().isEmpty()) listText.removeSelectedText();
  }

  // --- Pictures --------------------------------------------------------------

  void PictureHexDigit(char c) {
    const int value = HexValue(c);
    if (value < 0) return;  // white space and line ends between the digits
    if (pictureNibble_ < 0) {
      pictureNibble_ = value;
      return;
    }
    AddPictureBytes(QByteArray(1, static_cast<char>(pictureNibble_ * 16 + value)));
    pictureNibble_ = -1;
  }

  void AddPictureBytes(const QByteArray& bytes) {
    if (picture_.tooLarge) return;
    if (picture_.data.size() + bytes.size() > kMaxPictureBytes) {
      picture_.tooLarge = true;
      picture_.data.clear();
      return;
    }
    picture_.data.append(bytes);
  }

  void FinishPicture() {
    if (st_.destination == Destination::Text) {
      PlaceCursor();
      if (InsertPicture(cursor_, picture_) == PictureShown::Frame) hasFrames_ = true;
      blockHasText_ = true;
      lastTextPara_ = st_.para;
    }
    picture_ = RtfPicture();
  }

  // --- Font and colour tables ------------------------------------------------

  struct FontDefinition {
    int number = -1;
    int charset = 1;
    int codePage = 0;  // \cpg, when given
    QByteArray name;
  };

  void FinishFont() {
    if (definition_.number >= 0) {
      Font font;
      font.name = DecodeCodePage(definition_.name, documentCodePage_).trimmed();
      font.codePage = IsKnownCodePage(definition_.codePage)
                          ? definition_.codePage
                          : CodePageOfCharset(definition_.charset, documentCodePage_);
      fonts_[definition_.number] = font;
    }
    definition_ = FontDefinition();
  }

  void ResetColor() {
    color_ = QColor(0, 0, 0);
    colorGiven_ = false;
  }

  void FinishColor() {
    // An entry without components is the automatic colour.
    colors_.push_back(colorGiven_ ? color_ : QColor());
    ResetColor();
  }

  const QByteArray& in_;
  qsizetype pos_ = 0;
  bool finished_ = false;

  GroupState st_;
  std::vector<GroupState> stack_;
  size_t overflowDepth_ = 0;
  int pendingSkip_ = 0;

  int documentCodePage_ = kWindows1252;
  int defaultFont_ = -1;
  std::map<int, Font> fonts_;
  FontDefinition definition_;
  std::vector<QColor> colors_;
  QColor color_{0, 0, 0};
  bool colorGiven_ = false;

  QTextCursor cursor_;
  QByteArray bytes_;  // text bytes not yet decoded, all in bytesCodePage_
  int bytesCodePage_ = kWindows1252;
  QString run_;       // decoded text not yet inserted
  bool blockHasText_ = false;
  ParaState lastTextPara_;
  bool optional_ = false;  // "\*" read: the next word must be a destination we read
  int listTextStart_ = 0;
  RtfPicture picture_;
  int pictureNibble_ = -1;  // the first hexadecimal digit of a byte, when read
  RtfTable table_;
  bool hasFrames_ = false;
  QStringList footnotes_;  // each note's text, in the order of their marks

  int defaultTabTwips_ = kDefaultTabTwips;
};

}  // namespace

bool LooksLikeRtf(const QByteArray& bytes) {
  qsizetype i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' ||
                              bytes[i] == '\n')) {
    ++i;
  }
  return bytes.mid(i, 5) == "{\\rtf";
}

void ReadRtf(const QByteArray& rtf, QTextDocument* document) {
  const bool undo = document->isUndoRedoEnabled();
  document->setUndoRedoEnabled(false);
  document->clear();
  RtfParser parser(rtf, document);
  // One edit for the whole document: the document tells its layout and its
  // views of the change once, at the end, instead of after every piece of
  // text, paragraph and cell the reader inserts.
  QTextCursor edit(document);
  edit.beginEditBlock();
  parser.Run();
  edit.endEditBlock();
  QTextOption option = document->defaultTextOption();
  option.setTabStopDistance(TwipsToPixels(parser.defaultTabTwips()));
  document->setDefaultTextOption(option);
  // Without an application there are no fonts, so nothing can draw the
  // document, frames included.
  if (parser.hasFrames() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    RegisterPictureFrames(document);
  }
  document->setUndoRedoEnabled(undo);
}

}  // namespace kelvaro
