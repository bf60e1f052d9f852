#include "wizard/rtf_reader.h"

#include <QColor>
#include <QFont>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <climits>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wizard/rtf_code_page.h"

namespace kelvaro {
namespace {

// Deeper groups share the state of the deepest kept one, so memory stays
// bounded whatever the nesting.
constexpr size_t kMaxGroupDepth = 1000;
// Longest control word RTF allows; longer runs of letters are cut.
constexpr int kMaxWordLength = 32;
// Twips per pixel at the 96 dots per inch Qt's documents assume.
constexpr double kTwipsPerPixel = 15.0;
// Largest indent or spacing taken, in twips (22 inches).
constexpr int kMaxTwips = 31680;
constexpr int kMaxHalfPoints = 3276;
constexpr int kMaxUnicodeSkip = 16;

enum class Destination { Text, FontTable, ColorTable, Skip };

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
};

struct ParaState {
  Qt::Alignment alignment = Qt::AlignLeft;
  int leftTwips = 0;
  int rightTwips = 0;
  int firstTwips = 0;
  int beforeTwips = 0;
  int afterTwips = 0;
};

struct GroupState {
  Destination destination = Destination::Text;
  CharState chars;
  ParaState para;
  int unicodeSkip = 1;
};

struct Font {
  QString name;
  int codePage = kWindows1252;
};

enum class Word {
  // destinations
  FontTable, ColorTable, Skipped,
  // document
  Ansi, AnsiCodePage, Mac, Pc, Pca, DefaultFont, Rtf,
  // font and colour tables
  Charset, CodePage, Red, Green, Blue,
  // characters
  Plain, Bold, Italic, Underline, UnderlineNone, Strike, Super, Sub, NoSuperSub,
  Font, FontSize, ColorForeground, Highlight,
  // paragraphs
  Pard, AlignLeft, AlignCenter, AlignRight, AlignJustify, LeftIndent, RightIndent,
  FirstIndent, SpaceBefore, SpaceAfter,
  // text
  Par, Line, Tab, Cell, Unicode, UnicodeSkip, Bin, Character,
};

struct WordInfo {
  Word word;
  char16_t character = 0;  // for Word::Character
};

const std::unordered_map<std::string_view, WordInfo>& Words() {
  static const std::unordered_map<std::string_view, WordInfo> words = [] {
    std::unordered_map<std::string_view, WordInfo> w;
    for (auto name : {"pict", "info", "stylesheet", "header", "headerl", "headerr", "headerf",
                      "footer", "footerl", "footerr", "footerf", "footnote", "object", "objdata",
                      "listtable", "listoverridetable", "revtbl", "rsidtbl", "xmlnstbl", "filetbl",
                      "pn", "themedata", "colorschememapping", "datastore", "latentstyles",
                      "fldinst", "template", "nonshppict", "generator", "userprops", "pgdsctbl",
                      "xe", "tc", "txe", "private", "annotation", "atnid", "atnauthor"}) {
      w[name] = {Word::Skipped};
    }
    w["fonttbl"] = {Word::FontTable};
    w["colortbl"] = {Word::ColorTable};
    w["rtf"] = {Word::Rtf};
    w["ansi"] = {Word::Ansi};
    w["ansicpg"] = {Word::AnsiCodePage};
    w["mac"] = {Word::Mac};
    w["pc"] = {Word::Pc};
    w["pca"] = {Word::Pca};
    w["deff"] = {Word::DefaultFont};
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
    for (auto name : {"par", "sect", "page", "row"}) w[name] = {Word::Par};
    w["line"] = {Word::Line};
    w["tab"] = {Word::Tab};
    w["cell"] = {Word::Cell};
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

class RtfParser {
 public:
  RtfParser(const QByteArray& input, QTextDocument* document)
      : in_(input), cursor_(document) {}

  void Run() {
    // White space before the document is not part of it.
    while (pos_ < in_.size() && in_[pos_] != '{') ++pos_;
    while (pos_ < in_.size() && !finished_) Step();
    FlushText();
    // The last paragraph has no \par: it keeps the formatting its text was
    // read with, even when the groups that set it have closed since.
    ApplyParagraphFormat(blockHasText_ ? lastTextPara_ : st_.para);
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
    if (stack_.size() < kMaxGroupDepth) {
      stack_.push_back(st_);
    } else {
      ++overflowDepth_;
    }
  }

  void EndGroup() {
    FlushText();
    pendingSkip_ = 0;
    if (st_.destination == Destination::FontTable) FinishFont();
    if (overflowDepth_ > 0) {
      --overflowDepth_;
      return;
    }
    if (stack_.empty()) {  // a closing brace with no group open: the document ended
      finished_ = true;
      return;
    }
    st_ = stack_.back();
    stack_.pop_back();
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
      case '*':  // an optional destination: we know none worth showing
        FlushText();
        st_.destination = Destination::Skip;
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
    if (it == words.end()) return;  // unknown words are ignored
    const Word word = it->second.word;
    if (word == Word::Bin) return SkipBinary(hasParam ? param : 0);
    if (st_.destination == Destination::Skip) return;
    // A character does not change the formatting; keeping it in the pending
    // text also keeps the two halves of a surrogate pair together.
    if (word == Word::Unicode) return UnicodeCharacter(param);
    FlushText();
    if (DestinationWord(word) || DocumentWord(word, param) || TableWord(word, hasParam, param) ||
        CharacterWord(word, hasParam, param) || ParagraphWord(word, param)) {
      return;
    }
    TextWord(word, it->second.character);
  }

  bool DestinationWord(Word word) {
    switch (word) {
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
      default: return false;
    }
  }

  // Words of the font and colour tables.
  bool TableWord(Word word, bool hasParam, int param) {
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
      case Word::Plain: c = CharState(); c.font = defaultFont_; return true;
      case Word::Bold: c.bold = on; return true;
      case Word::Italic: c.italic = on; return true;
      case Word::Underline: c.underline = on; return true;
      case Word::UnderlineNone: c.underline = false; return true;
      case Word::Strike: c.strike = on; return true;
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

  bool ParagraphWord(Word word, int param) {
    ParaState& p = st_.para;
    const int twips = std::clamp(param, -kMaxTwips, kMaxTwips);
    switch (word) {
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
      default: return false;
    }
  }

  void TextWord(Word word, char16_t character) {
    if (st_.destination != Destination::Text) return;
    switch (word) {
      case Word::Par: NewParagraph(); return;
      case Word::Line: AddCharacter(QChar::LineSeparator); return;
      case Word::Tab:
      case Word::Cell: AddCharacter(QChar('\t')); return;
      case Word::Character: AddCharacter(QChar(character)); return;
      default: return;
    }
  }

  // \uN: N is a signed 16-bit number; the N characters that follow are the
  // fallback for readers without Unicode and are skipped.
  void UnicodeCharacter(int param) {
    if (st_.destination != Destination::Text) return;
    const int code = param < 0 ? param + 65536 : param;
    if (code >= 0 && code <= 0xFFFF) AddCharacter(QChar(static_cast<char16_t>(code)));
    pendingSkip_ = st_.unicodeSkip;
  }

  void SkipBinary(int count) {
    FlushText();
    pos_ += std::clamp<qsizetype>(count, 0, in_.size() - pos_);
  }

  // --- Text ------------------------------------------------------------------

  void TextByte(char byte) {
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
      case Destination::Skip:
        return;
    }
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
    if (const QColor* color = TableColor(c.color)) format.setForeground(*color);
    if (const QColor* color = TableColor(c.highlight)) format.setBackground(*color);
    return format;
  }

  // The colour of a table index, or null for the automatic colour.
  const QColor* TableColor(int index) const {
    if (index <= 0 || index >= static_cast<int>(colors_.size())) return nullptr;
    return colors_[index].isValid() ? &colors_[index] : nullptr;
  }

  void NewParagraph() {
    FlushText();
    ApplyParagraphFormat(st_.para);
    cursor_.insertBlock();
    blockHasText_ = false;
  }

  void ApplyParagraphFormat(const ParaState& p) {
    QTextBlockFormat format;
    format.setAlignment(p.alignment);
    format.setLeftMargin(p.leftTwips / kTwipsPerPixel);
    format.setRightMargin(p.rightTwips / kTwipsPerPixel);
    format.setTextIndent(p.firstTwips / kTwipsPerPixel);
    format.setTopMargin(p.beforeTwips / kTwipsPerPixel);
    format.setBottomMargin(p.afterTwips / kTwipsPerPixel);
    cursor_.setBlockFormat(format);
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
  RtfParser(rtf, document).Run();
  document->setUndoRedoEnabled(undo);
}

}  // namespace kelvaro
