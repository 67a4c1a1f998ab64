#include "batch/vbscript_regex.h"

#include <QRegularExpressionMatch>
#include <QRegularExpressionMatchIterator>

#include <iterator>

namespace {

constexpr TVBScriptErrRec kErrors[] = {
    {429, "ActiveX component can't create object"},
    {507, "An exception occurred"},
    {449, "Argument not optional"},
    {17, "Can't perform requested operation"},
    {430, "Class doesn't support Automation"},
    {506, "Class not defined"},
    {11, "Division by zero"},
    {48, "Error in loading DLL"},
    {5020, "Expected ')' in regular expression"},
    {5019, "Expected ']' in regular expression"},
    {432, "File name or class name not found during Automation operation"},
    {92, "For loop not initialized"},
    {5008, "Illegal assignment"},
    {51, "Internal error"},
    {505, "Invalid or unqualified reference"},
    {481, "Invalid picture"},
    {5, "Invalid procedure call or argument"},
    {5021, "Invalid range in character set"},
    {94, "Invalid use of Null"},
    {448, "Named argument not found"},
    {447, "Object doesn't support current locale setting"},
    {445, "Object doesn't support this action"},
    {438, "Object doesn't support this property or method"},
    {451, "Object not a collection"},
    {504, "Object not safe for creating"},
    {503, "Object not safe for initializing"},
    {502, "Object not safe for scripting"},
    {424, "Object required"},
    {91, "Object variable not set"},
    {7, "Out of Memory"},
    {28, "Out of stack space"},
    {14, "Out of string space"},
    {6, "Overflow"},
    {35, "Sub or function not defined"},
    {9, "Subscript out of range"},
    {5017, "Syntax error in regular expression"},
    {462, "The remote server machine does not exist or is unavailable"},
    {10, "This array is fixed or temporarily locked"},
    {13, "Type mismatch"},
    {5018, "Unexpected quantifier"},
    {500, "Variable is undefined"},
    {458, "Variable uses an Automation type not supported in VBScript"},
    {450, "Wrong number of arguments or invalid property assignment"},
};
static_assert(std::size(kErrors) == 43);

// Maps a PCRE2 compile error (as Qt reports it) onto the script codes.
int ScriptCodeForPatternError(const QString& engineMessage) {
  const QString m = engineMessage.toLower();
  if (m.contains(u"missing closing parenthesis") || m.contains(u"missing )")) return 5020;
  if (m.contains(u"missing terminating ]")) return 5019;
  if (m.contains(u"range out of order") || m.contains(u"invalid range")) return 5021;
  if (m.contains(u"quantifier does not follow") || m.contains(u"nothing to repeat")) return 5018;
  return 5017;
}

QRegularExpression::PatternOptions EngineOptions(TRegexOptions options) {
  QRegularExpression::PatternOptions o = QRegularExpression::NoPatternOption;
  if (options.testFlag(roIgnoreCase)) o |= QRegularExpression::CaseInsensitiveOption;
  if (options.testFlag(roMultiLine)) o |= QRegularExpression::MultilineOption;
  return o;
}

// Expands "$n", "$nn", "$&", "$`", "$'" and "$$"; anything else stays as is.
void AppendExpanded(QString& out, const QString& replacement, const QRegularExpressionMatch& m,
                    const QString& input) {
  const qsizetype n = replacement.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = replacement[i];
    if (c != u'$' || i + 1 >= n) {
      out += c;
      continue;
    }
    const QChar next = replacement[i + 1];
    if (next == u'$') {
      out += u'$';
      ++i;
    } else if (next == u'&') {
      out += m.captured(0);
      ++i;
    } else if (next == u'`') {
      out += input.left(m.capturedStart(0));
      ++i;
    } else if (next == u'\'') {
      out += input.mid(m.capturedEnd(0));
      ++i;
    } else if (next.isDigit() && next != u'0') {
      int group = next.digitValue();
      qsizetype used = 1;
      if (i + 2 < n && replacement[i + 2].isDigit()) {
        const int two = group * 10 + replacement[i + 2].digitValue();
        if (two <= m.lastCapturedIndex()) {
          group = two;
          used = 2;
        }
      }
      if (group <= m.lastCapturedIndex()) {
        out += m.captured(group);
        i += used;
      } else {
        out += c;  // no such group: the text stays literal
      }
    } else {
      out += c;
    }
  }
}

}  // namespace

const TVBScriptErrRec* TkvScriptErrorTable(int* count) {
  if (count) *count = static_cast<int>(std::size(kErrors));
  return kErrors;
}

QString TkvScriptErrorMessage(int32_t errorResult) {
  const int32_t code = errorResult & 0xFFFF;
  for (const TVBScriptErrRec& rec : kErrors) {
    if (rec.Code == code) return QString::fromLatin1(rec.Message);
  }
  return {};
}

int32_t TkvScriptErrorResult(int code) {
  return static_cast<int32_t>(0x800A0000u | (static_cast<uint32_t>(code) & 0xFFFFu));
}

ERegexException::ERegexException(int32_t errorResult, const QString& fallbackMessage)
    : TkvError(TkvScriptErrorMessage(errorResult).isEmpty() ? fallbackMessage
                                                            : TkvScriptErrorMessage(errorResult),
               errorResult),
      errorCode_(errorResult) {}

TRegex::TRegex(const QString& pattern, TRegexOptions options)
    : pattern_(pattern), options_(options), re_(pattern, EngineOptions(options)) {}

void TRegex::CheckValid() const {
  if (!re_.isValid()) {
    throw ERegexException(TkvScriptErrorResult(ScriptCodeForPatternError(re_.errorString())),
                          re_.errorString());
  }
}

bool TRegex::IsMatch(const QString& input) const {
  CheckValid();
  return re_.match(input).hasMatch();
}

QString TRegex::Replace(const QString& input, const QString& replacement) const {
  return ReplaceImpl(input, replacement, false);
}

QString TRegex::ReplaceAll(const QString& input, const QString& replacement) const {
  return ReplaceImpl(input, replacement, true);
}

QString TRegex::ReplaceImpl(const QString& input, const QString& replacement, bool all) const {
  CheckValid();
  QString out;
  qsizetype copied = 0;
  QRegularExpressionMatchIterator it = re_.globalMatch(input);
  while (it.hasNext()) {
    const QRegularExpressionMatch m = it.next();
    out += QStringView(input).mid(copied, m.capturedStart(0) - copied);
    AppendExpanded(out, replacement, m, input);
    copied = m.capturedEnd(0);
    if (!all) break;
  }
  out += QStringView(input).mid(copied);
  return out;
}

std::shared_ptr<TRegex> Regex::Create(const QString& pattern, TRegexOptions options) {
  return std::make_shared<TRegex>(pattern, options);
}

bool Regex::IsMatch(const QString& pattern, TRegexOptions options, const QString& input) {
  return Create(pattern, options)->IsMatch(input);
}

QString Regex::Replace(const QString& pattern, const QString& input, const QString& replacement) {
  return Create(pattern, {})->Replace(input, replacement);
}

QString WildcardToRegex(const QString& mask) {
  static const struct {
    const char16_t* from;
    const char16_t* to;
  } kSteps[] = {
      {u".", u"\\."}, {u"*", u".*"},  {u"?", u".?"},  {u"+", u"\\+"},
      {u"^", u"\\^"}, {u"$", u"\\$"}, {u"(", u"\\("}, {u")", u"\\)"},
      {u"[", u"\\["}, {u"]", u"\\]"}, {u"{", u"\\{"}, {u"}", u"\\}"},
  };
  QString r = mask;
  for (const auto& step : kSteps)
    r.replace(QString::fromUtf16(step.from), QString::fromUtf16(step.to));
  return r + u'$';
}
